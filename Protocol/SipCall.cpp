// The requests and responses of a channel's SIP leg: the INVITE the gateway
// places, its answers with SDP, refusals and the end of a call.

#include <cstdio>
#include <cstring>
#include <string>

#include "Protocol/sipua/OsipIncludes.h"
#include "Protocol/SipHandler.h"
#include "Protocol/SipStack.h"
#include "Protocol/SipUri.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

// The SDP as text; empty (traced) when it cannot be built or printed.
std::string sdp_text(int port, const std::string& name, bool* built) {
  *built = false;
  sdp_message_t* sdp = nullptr;
  if (SipHandler::SIPBuildMsgSDP(&sdp, port, name.c_str()) != 0) return {};
  *built = true;
  char* text = nullptr;
  std::string out;
  if (sdp_message_to_str(sdp, &text) != 0 || text == nullptr) {
    GW_TRACE("sdp to string error\n\n");
  } else {
    out = text;
    osip_free(text);
  }
  sdp_message_free(sdp);
  return out;
}

bool set_sdp_body(osip_message_t* message, const std::string& sdp) {
  if (osip_message_set_body(message, sdp.c_str(), sdp.size()) != 0) {
    GW_TRACE("set sdp body error\n\n");
    return false;
  }
  osip_message_set_content_type(message, "application/sdp");
  return true;
}

}  // namespace

int SipHandler::SipInvite(S_User& user) {
  char from[kSipUriSize];
  char to[kSipUriSize];
  user.peer = user.phone;
  if (!sip_make_uri(from, user.sipuserid, gwconfig.localip, kNoPort) ||
      !sip_make_uri(to, user.phone, user.hostip, user.hostport)) {
    GW_TRACE("Intial INVITE failed! user %.64s, number %.31s or host %.64s is not a SIP URI part or too long\n\n",
             user.sipuserid.c_str(), user.phone, user.hostip.c_str());
    return -1;
  }
  char display[kSipUriSize];
  bool have_display = !user.dispname.empty();
  if (have_display && !sip_quote_display_name(user.dispname, display, sizeof display)) {
    GW_TRACE("display name of %.64s refused, sent without one\n\n", user.sipuserid.c_str());
    have_display = false;
  }
  bool built = false;
  std::string sdp = sdp_text(sip_rtp_port(user), user.sipuserid, &built);
  if (!built) {
    GW_TRACE("Intial INVITE failed! no SDP\n\n");
    return -1;
  }

  int cid = -1;
  {
    SipStackLock stack;
    osip_message_t* invite = nullptr;
    int result = eXosip_call_build_initial_invite(&invite, to, from, nullptr, "This si a call for a conversation");
    if (result != 0 || invite == nullptr) {
      GW_TRACE("Intial INVITE failed!\n\n");
      return result != 0 ? result : -1;
    }
    osip_from_t* from_header = osip_message_get_from(invite);
    if (have_display && from_header != nullptr) osip_from_set_displayname(from_header, osip_strdup(display));
    if (!sdp.empty()) set_sdp_body(invite, sdp);

    const char* authname = user.authname.c_str();
    const char* id = user.sipuserid.c_str();
    const char* pwd = user.sippwd.c_str();
    if (!user.regsip) {
      if (eXosip_add_authentication_info(authname, id, pwd, "md5", nullptr) != 0)
        GW_TRACE("--Add_authentication_info failed \n\n");
    } else if (user.disskypename) {
      if (eXosip_add_authentication_info(authname, id, pwd, "md5", nullptr) != 0)
        GW_TRACE("--Add_authentication_info failed \n\n");
    }
    cid = eXosip_call_send_initial_invite(invite);
  }
  user.cid = cid;
  user.calltype = CALL_SKYPE_TO_SIP;
  user.tid = 0;
  user.did = 0;
  user.headdtmf = 0;
  user.taildtmf = 0;
  user.dtmfpos = 0;
  user.tonepos = 0;
  user.pos = 0;
  user.time = 0;
  user.status = CHAN_PLACED;
  addstate(user);
  return 0;
}

int SipHandler::answer_with_sdp(S_User& user, int code) {
  int port = sip_rtp_port(user);
  char contact[kSipUriSize];
  bool have_contact = sip_make_uri(contact, user.sipuserid, gwconfig.localip, gwconfig.localport);
  if (!have_contact) GW_TRACE("Contact of %.64s refused, answered without one\n\n", user.sipuserid.c_str());
  bool built = false;
  std::string sdp = sdp_text(port, user.sipuserid, &built);
  if (!built) {
    // Without SDP the answer would carry no media: refuse to send it.
    GW_TRACE("This request msg is invalid!Cann't response!\n\n");
    return -1;
  }

  SipStackLock stack;
  osip_message_t* answer = nullptr;
  if (eXosip_call_build_answer(user.tid, code, &answer) != 0 || answer == nullptr) {
    GW_TRACE("This request msg is invalid!Cann't response!\n\n");
    return -1;
  }
  user.audioplayer.nsRcvPort = static_cast<uint16_t>(port);
  if (!sdp.empty()) set_sdp_body(answer, sdp);
  if (have_contact) osip_message_set_contact(answer, contact);
  eXosip_call_send_answer(user.tid, code, answer);
  return 0;
}

int SipHandler::SIP183(S_User& user) { return answer_with_sdp(user, 183); }

int SipHandler::SIPCallAccept(S_User& user) { return answer_with_sdp(user, 200); }

int SipHandler::SipBusy(int tid) {
  SipStackLock stack;
  osip_message_t* answer = nullptr;
  if (eXosip_call_build_answer(tid, 486, &answer) == 0 && answer != nullptr)
    eXosip_call_send_answer(tid, 486, answer);
  else
    GW_TRACE("This request msg is invalid!Cann't response!\n\n");
  return 0;
}

int SipHandler::Sipreqterminated(int tid) {
  SipStackLock stack;
  osip_message_t* answer = nullptr;
  if (eXosip_call_build_answer(tid, 487, &answer) == 0 && answer != nullptr)
    eXosip_call_send_answer(tid, 487, answer);
  else
    GW_TRACE("This request msg is invalid!Cann't response!\n\n");
  return 0;
}

int SipHandler::SIPCallCancel(S_User& user) {
  SipStackLock stack;
  if (eXosip_call_terminate(user.cid, user.did) != 0) GW_TRACE("eXosip_call_terminate failed \n\n");
  return 0;
}
