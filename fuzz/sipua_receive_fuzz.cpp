// Feeds each input to the SIP user agent's receive path as one datagram from
// a peer, and plays a simple application on the events that come out (answer
// calls, answer requests, end calls, read SDP), so that what a datagram sets
// up is exercised by the next ones. Outgoing datagrams go to a sink.

#include "Protocol/sipua/SipUa.h"
#include "Protocol/sipua/Transport.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

const char kSdp[] = "v=0\r\no=gw 1 1 IN IP4 127.0.0.1\r\ns=gw\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 10002 RTP/AVP 8\r\n";

void play(eXosip_event_t* e, uint8_t choice) {
  if (sdp_message_t* sdp = eXosip_get_remote_sdp_from_tid(e->tid)) {
    eXosip_get_audio_media(sdp);
    sdp_message_free(sdp);
  }
  switch (e->type) {
    case EXOSIP_CALL_INVITE:
      if (choice & 1) eXosip_call_send_answer(e->tid, 180, nullptr);
      if (choice & 2) {
        osip_message_t* a = nullptr;
        if (eXosip_call_build_answer(e->tid, 200, &a) == 0) {
          osip_message_set_body(a, kSdp, sizeof kSdp - 1);
          osip_message_set_content_type(a, "application/sdp");
          eXosip_call_send_answer(e->tid, 200, a);
        }
      }
      if (choice & 4) eXosip_call_terminate(e->cid, e->did);
      break;
    case EXOSIP_CALL_ACK:
      if (choice & 8) {
        osip_message_t* info = nullptr;
        if (eXosip_call_build_info(e->did, &info) == 0) eXosip_call_send_request(e->did, info);
      }
      if (choice & 16) eXosip_call_terminate(e->cid, e->did);
      break;
    case EXOSIP_CALL_CLOSED:
    case EXOSIP_CALL_MESSAGE_NEW:
    case EXOSIP_MESSAGE_NEW:
      if (choice & 32) {
        osip_message_t* a = nullptr;
        if (eXosip_message_build_answer(e->tid, 200, &a) == 0) eXosip_message_send_answer(e->tid, 200, a);
      }
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  eXosip_init();
  sipua::transport_set_sink([](const std::string&, const std::string&, int) {});
  eXosip_add_authentication_info("alice", "alice", "s3cret", "md5", nullptr);
  // A call and a registration of our own, so that responses have something to find.
  osip_message_t* inv = nullptr;
  if (eXosip_call_build_initial_invite(&inv, "sip:peer@127.0.0.1:5999", "sip:alice@127.0.0.1", nullptr, nullptr) == 0)
    eXosip_call_send_initial_invite(inv);
  osip_message_t* reg = nullptr;
  int rid = eXosip_register_build_initial_register("sip:alice@127.0.0.1", "sip:127.0.0.1:5999", nullptr, 60, &reg);
  if (rid > 0) eXosip_register_send_register(rid, reg);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sipua::transport_receive(reinterpret_cast<const char*>(data), size, "127.0.0.1", 5999);
  uint8_t choice = size ? data[size - 1] : 0;
  while (eXosip_event_t* e = eXosip_event_wait(0, 0)) {
    eXosip_default_action(e);
    play(e, choice);
    eXosip_event_free(e);
  }
  eXosip_automatic_refresh();
  return 0;
}
