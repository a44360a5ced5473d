// A small program that drives the SIP user agent the way the gateway's SIP
// event thread does (wait 200 ms, default action, automatic refresh, then the
// event), in one of three roles, for the SIPp system tests:
//   uas       answers incoming calls (180, then --answer with SDP), answers
//             INFO, MESSAGE and BYE, and ends the call itself with --hangup self
//   uac       places a call to --target, ACKs the answer, sends INFO with --info,
//             ends the call itself with --hangup self (after the answer) or
//             --cancel 1 (on the first ringing)
//   register  registers --from at --target and keeps it refreshed
// It prints one line per event and exits 0 once the events listed in --expect
// have been seen in that order, 1 on time-out or a failed operation.

#include "Protocol/sipua/SipUa.h"
#include "Velmora/registry/Trace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Options {
  std::string role = "uas";
  int port = 5070;
  std::string target, from = "sip:gw@127.0.0.1";
  std::string user, password;
  int expires = 3600;
  int answer = 200;
  std::string hangup = "peer";
  bool info = false;
  bool cancel = false;
  std::vector<int> expect;
  int timeout = 30;
  int calls = 1;
};

const char* kSdp =
    "v=0\r\no=gw 1 1 IN IP4 127.0.0.1\r\ns=gw\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
    "m=audio 10002 RTP/AVP 8 101\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:101 telephone-event/8000\r\n"
    "a=fmtp:101 0-16\r\na=ptime:40\r\na=sendrecv\r\n";

bool fail(const char* what, int rc) {
  printf("FAILED %s: %d\n", what, rc);
  fflush(stdout);
  return false;
}

std::string method_of(const osip_message_t* m) { return m && m->sip_method ? m->sip_method : ""; }

int answer_with_sdp(int tid, int code) {
  osip_message_t* a = nullptr;
  int rc = eXosip_call_build_answer(tid, code, &a);
  if (rc != 0) return rc;
  osip_message_set_body(a, kSdp, strlen(kSdp));
  osip_message_set_content_type(a, "application/sdp");
  return eXosip_call_send_answer(tid, code, a);
}

bool check_audio(int tid) {
  sdp_message_t* sdp = eXosip_get_remote_sdp_from_tid(tid);
  if (!sdp) return fail("no remote SDP", tid);
  sdp_media_t* audio = eXosip_get_audio_media(sdp);
  bool ok = audio && audio->m_port;
  if (ok) printf("remote audio port %s\n", audio->m_port);
  sdp_message_free(sdp);
  return ok || fail("no audio media", tid);
}

// The role's reaction to one event; false on a failed operation.
bool handle(const Options& o, eXosip_event_t* e) {
  switch (e->type) {
    case EXOSIP_CALL_INVITE: {
      if (!check_audio(e->tid)) return false;
      int rc = eXosip_call_send_answer(e->tid, 180, nullptr);
      if (rc != 0) return fail("180", rc);
      if (o.answer >= 300) {
        rc = eXosip_call_send_answer(e->tid, o.answer, nullptr);
        if (rc != 0) return fail("refusal", rc);
      } else if (o.answer >= 200) {
        rc = answer_with_sdp(e->tid, o.answer);
        if (rc != 0) return fail("200", rc);
      }
      return true;
    }
    case EXOSIP_CALL_RINGING:
      if (o.cancel) {
        int rc = eXosip_call_terminate(e->cid, e->did);
        if (rc != 0) return fail("cancel", rc);
      }
      return true;
    case EXOSIP_CALL_ACK:
      if (o.hangup == "self") {
        usleep(300 * 1000);
        int rc = eXosip_call_terminate(e->cid, e->did);
        if (rc != 0) return fail("terminate", rc);
      }
      return true;
    case EXOSIP_CALL_ANSWERED: {
      if (!check_audio(e->tid)) return false;
      osip_message_t* ack = nullptr;
      int rc = eXosip_call_build_ack(e->did, &ack);
      if (rc != 0) return fail("build ack", rc);
      rc = eXosip_call_send_ack(e->did, ack);
      if (rc != 0) return fail("send ack", rc);
      if (o.info) {
        osip_message_t* info = nullptr;
        rc = eXosip_call_build_info(e->did, &info);
        if (rc != 0) return fail("build info", rc);
        const char* body = "Signal=5\r\nDuration=100\r\n";
        osip_message_set_body(info, body, strlen(body));
        osip_message_set_content_type(info, "application/dtmf-relay");
        rc = eXosip_call_send_request(e->did, info);
        if (rc != 0) return fail("send info", rc);
      }
      if (o.hangup == "self") {
        usleep(300 * 1000);
        rc = eXosip_call_terminate(e->cid, e->did);
        if (rc != 0) return fail("terminate", rc);
      }
      return true;
    }
    case EXOSIP_CALL_CLOSED: {  // as the gateway's BYE handler: 200, then terminate
      osip_message_t* a = nullptr;
      int rc = eXosip_call_build_answer(e->tid, 200, &a);
      if (rc != 0) return fail("answer BYE", rc);
      rc = eXosip_call_send_answer(e->tid, 200, a);
      if (rc != 0) return fail("send BYE answer", rc);
      eXosip_call_terminate(e->cid, e->did);  // nothing left to end: must not send anything
      return true;
    }
    case EXOSIP_CALL_MESSAGE_NEW:
    case EXOSIP_MESSAGE_NEW: {
      osip_body_t* body = nullptr;
      if (osip_message_get_body(e->request, 0, &body) >= 0 && body && body->body)
        printf("%s body %.*s\n", method_of(e->request).c_str(), static_cast<int>(body->length), body->body);
      osip_message_t* a = nullptr;
      int rc = eXosip_message_build_answer(e->tid, 200, &a);
      if (rc != 0) return fail("answer message", rc);
      rc = eXosip_message_send_answer(e->tid, 200, a);
      if (rc != 0) return fail("send message answer", rc);
      return true;
    }
    default:
      return true;
  }
}

bool start(const Options& o) {
  if (!o.user.empty() && eXosip_add_authentication_info(o.user.c_str(), o.user.c_str(), o.password.c_str(), "md5",
                                                        nullptr) != 0)
    return fail("credentials", -1);
  if (o.role == "register") {
    osip_message_t* reg = nullptr;
    char contact[128];
    snprintf(contact, sizeof contact, "<sip:%s@127.0.0.1:%d>", o.user.empty() ? "gw" : o.user.c_str(), o.port);
    int rid = eXosip_register_build_initial_register(o.from.c_str(), o.target.c_str(), contact, o.expires, &reg);
    if (rid <= 0) return fail("build register", rid);
    int rc = eXosip_register_send_register(rid, reg);
    if (rc != 0) return fail("send register", rc);
  } else if (o.role == "uac") {
    for (int i = 0; i < o.calls; ++i) {
      osip_message_t* inv = nullptr;
      int rc = eXosip_call_build_initial_invite(&inv, o.target.c_str(), o.from.c_str(), nullptr, "a call");
      if (rc != 0) return fail("build invite", rc);
      osip_message_set_body(inv, kSdp, strlen(kSdp));
      osip_message_set_content_type(inv, "application/sdp");
      int cid = eXosip_call_send_initial_invite(inv);
      if (cid <= 0) return fail("send invite", cid);
      printf("call %d placed\n", cid);
    }
  }
  return true;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string k = argv[i], v = argv[i + 1];
    if (k == "--role") o.role = v;
    else if (k == "--port") o.port = atoi(v.c_str());
    else if (k == "--target") o.target = v;
    else if (k == "--from") o.from = v;
    else if (k == "--user") o.user = v;
    else if (k == "--password") o.password = v;
    else if (k == "--expires") o.expires = atoi(v.c_str());
    else if (k == "--answer") o.answer = atoi(v.c_str());
    else if (k == "--hangup") o.hangup = v;
    else if (k == "--info") o.info = v == "1";
    else if (k == "--cancel") o.cancel = v == "1";
    else if (k == "--timeout") o.timeout = atoi(v.c_str());
    else if (k == "--calls") o.calls = atoi(v.c_str());
    else if (k == "--expect") {
      std::stringstream ss(v);
      std::string item;
      while (std::getline(ss, item, ',')) o.expect.push_back(atoi(item.c_str()));
    } else {
      fprintf(stderr, "unknown option %s\n", k.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) return 2;
  if (getenv("SIPUA_TRACE")) argdebug = 1;
  if (eXosip_init() != 0) return fail("init", -1) ? 0 : 1;
  eXosip_set_user_agent("Velmora");
  int sock = socket(AF_INET, SOCK_DGRAM, 0);
  int one = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  me.sin_port = htons(static_cast<uint16_t>(o.port));
  me.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (bind(sock, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0) return fail("bind", errno) ? 0 : 1;
  if (eXosip_set_socket(IPPROTO_UDP, sock, o.port) != 0) return fail("set_socket", -1) ? 0 : 1;
  printf("ready\n");
  fflush(stdout);
  bool ok = start(o);
  size_t next = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.timeout);
  while (ok && next < o.expect.size() && std::chrono::steady_clock::now() < deadline) {
    eXosip_event_t* e = eXosip_event_wait(0, 200);
    eXosip_default_action(e);
    eXosip_automatic_refresh();
    if (!e) continue;
    int status = e->response ? e->response->status_code : 0;
    printf("event %d %s tid=%d did=%d cid=%d rid=%d status=%d method=%s\n", e->type, e->textinfo, e->tid, e->did,
           e->cid, e->rid, status, method_of(e->request).c_str());
    fflush(stdout);
    ok = handle(o, e);
    if (static_cast<int>(e->type) == o.expect[next]) ++next;
    eXosip_event_free(e);
  }
  // Let the last answers and ACKs leave before the stack goes.
  for (int i = 0; i < 5; ++i) {
    eXosip_event_t* e = eXosip_event_wait(0, 100);
    if (e) {
      printf("event %d %s (after)\n", e->type, e->textinfo);
      handle(o, e);
      eXosip_event_free(e);
    }
  }
  eXosip_quit();
  close(sock);
  bool done = ok && next == o.expect.size();
  if (done)
    printf("DONE\n");
  else
    printf("INCOMPLETE (%zu of %zu expected events)\n", next, o.expect.size());
  return done ? 0 : 1;
}
