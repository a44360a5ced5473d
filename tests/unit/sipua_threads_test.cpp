// The user agent entered from several threads at once, as the gateway does:
// datagrams arriving, the event thread answering and ending calls, and the
// registration thread building and sending REGISTERs. Run under TSan.

#include "Protocol/sipua/SipUa.h"
#include "Protocol/sipua/Transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

std::string invite(int n) {
  std::string id = "thr" + std::to_string(n);
  const std::string sdp = "v=0\r\no=a 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\n";
  return "INVITE sip:gw@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:5999;branch=z9hG4bK" + id +
         "\r\nFrom: <sip:peer@127.0.0.1>;tag=p" + id + "\r\nTo: <sip:gw@127.0.0.1>\r\nCall-ID: " + id +
         "\r\nCSeq: 1 INVITE\r\nContact: <sip:peer@127.0.0.1:5999>\r\nContent-Type: application/sdp\r\nContent-Length: " +
         std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
}

TEST(SipUaThreads, FeedAnswerAndRegisterConcurrently) {
  ASSERT_EQ(eXosip_init(), 0);
  std::atomic<int> sent{0};
  sipua::transport_set_sink([&](const std::string&, const std::string&, int) { ++sent; });
  constexpr int kCalls = 150;
  std::atomic<bool> fed{false};
  std::atomic<int> invites{0};

  std::thread peer([&] {
    for (int i = 0; i < kCalls; ++i) {
      std::string m = invite(i);
      sipua::transport_receive(m.data(), m.size(), "127.0.0.1", 5999);
    }
    fed = true;
  });
  std::thread events([&] {
    for (;;) {
      eXosip_event_t* e = eXosip_event_wait(0, 50);
      eXosip_default_action(e);
      eXosip_automatic_refresh();
      if (!e) {
        if (fed && invites == kCalls) break;
        continue;
      }
      if (e->type == EXOSIP_CALL_INVITE) {
        ++invites;
        eXosip_call_send_answer(e->tid, 180, nullptr);
        if (invites % 2) {
          eXosip_call_send_answer(e->tid, 200, nullptr);
        } else {
          eXosip_call_terminate(e->cid, e->did);
        }
      }
      eXosip_event_free(e);
    }
  });
  std::thread registrar([&] {
    eXosip_add_authentication_info("alice", "alice", "pw", "md5", nullptr);
    for (int i = 0; i < 50; ++i) {
      eXosip_lock();
      osip_message_t* reg = nullptr;
      int rid = eXosip_register_build_initial_register("sip:alice@127.0.0.1", "sip:127.0.0.1:5999", nullptr, 60, &reg);
      if (rid > 0) eXosip_register_send_register(rid, reg);
      eXosip_unlock();
      eXosip_add_authentication_info("alice", "alice", "pw", "md5", nullptr);
    }
  });
  peer.join();
  registrar.join();
  events.join();
  EXPECT_EQ(invites.load(), kCalls);
  EXPECT_GE(sent.load(), kCalls * 3);  // 100, 180 and a final answer at least
  eXosip_quit();
}

}  // namespace
