// Test driver for the SIP side: loads the configuration directory like the
// gateway does (sip.conf, sip_general.conf, every account unregistered),
// brings up the gateway object's SIP handler with its registration handlers
// and registration thread, and takes commands on standard input:
//
//   invite KEY NUMBER   place a call from record KEY to NUMBER (SipInvite)
//   answer CODE         answer later INVITEs with 183, 200, 486 or 487
//   status              print every record's registration state
//
// Incoming INVITEs are taken on record "1": the peer's SDP is read with
// InitAudioAttr and printed, then the INVITE is answered as set.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "Protocol/SipHandler.h"
#include "Protocol/SipStack.h"
#include "Tools/ReadXml.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

std::mutex g_mode_mutex;
int g_answer = 200;

#define SAY(...)       \
  do {                 \
    printf(__VA_ARGS__); \
    fflush(stdout);    \
  } while (0)

void on_invite(void* context, eXosip_event_t* event) {
  auto* gateway = static_cast<Velmora*>(context);
  int code;
  {
    std::lock_guard<std::mutex> g(g_mode_mutex);
    code = g_answer;
  }
  std::lock_guard<SkypeMutex> lock(m_usersmutex);
  auto it = users.find("1");
  if (it == users.end()) return;
  S_User& user = it->second;
  user.tid = event->tid;
  user.did = event->did;
  user.cid = event->cid;
  user.audiocapture = AUDIO_CAPTURE_s();
  sdp_message_t* sdp = eXosip_get_remote_sdp_from_tid(event->tid);
  int r = Velmora::InitAudioAttr(sdp, &user.audiocapture, &user.audioplayer);
  if (sdp != nullptr) sdp_message_free(sdp);
  SAY("PEER %s %d result %d\n", user.audiocapture.acDstIP, user.audiocapture.nsDstPort, r);
  SipHandler* sip = gateway->siphandler();
  int result = 0;
  switch (code) {
    case 183: result = sip->SIP183(user); break;
    case 200: result = sip->SIPCallAccept(user); break;
    case 486: result = sip->SipBusy(user.tid); break;
    default: result = sip->Sipreqterminated(user.tid); break;
  }
  SAY("ANSWERED %d result %d\n", code, result);
}

void print_status() {
  std::lock_guard<SkypeMutex> lock(m_usersmutex);
  for (auto& [key, user] : users) {
    printf("STATUS %s %s regstatus=%d rid=%d auth=%s\n", key.c_str(), user.sipuserid.c_str(),
           user.regstatus ? 1 : 0, user.rid, user.auth.c_str());
  }
  printf("STATUS END\n");
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  argdebug = argc > 1 && strncmp(argv[1], "-d", 2) == 0 ? 1 : 0;
  static ReadXml files;
  rdxml = &files;
  files.Read(users);
  files.clearsipregState();

  static Velmora gateway;  // brings up the SIP stack and its event thread
  gateway.RegisterSipHandlers();
  gateway.InsertProtocolHandler(5, &on_invite);
  gateway.StartRegistration();
  SAY("DRIVER READY transport=%d\n", gateway.siphandler()->transport_up() ? 1 : 0);

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "invite") {
      std::string key, number;
      in >> key >> number;
      std::lock_guard<SkypeMutex> lock(m_usersmutex);
      auto it = users.find(key);
      if (it == users.end() || number.size() >= sizeof it->second.phone) {
        SAY("INVITE refused %s\n", key.c_str());
        continue;
      }
      snprintf(it->second.phone, sizeof it->second.phone, "%s", number.c_str());
      int r = gateway.siphandler()->SipInvite(it->second);
      SAY("INVITE %s result %d cid %d\n", key.c_str(), r, it->second.cid);
    } else if (command == "answer") {
      std::lock_guard<std::mutex> g(g_mode_mutex);
      in >> g_answer;
    } else if (command == "status") {
      print_status();
    }
  }
  // Standard input closed: the test is done with us.
  fflush(stdout);
  _exit(0);
}
