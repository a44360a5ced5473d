// The user agent entered from several threads at once, as the gateway does:
// datagrams arriving, the event thread answering and ending calls, and the
// registration thread building and sending REGISTERs. Run under TSan.

#include "Protocol/sipua/SipUa.h"
#include "Protocol/sipua/Transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

std::string invite(int n) {
  std::string id = "thr" + std::to_string(n);
  const std::string sdp = "v=0\r\no=a 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\n";
  return "INVITE sip:gw@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:5999;rport;branch=z9hG4bK" + id +
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

// The same with the stack's own transport thread reading a real socket while
// the application thread answers.
TEST(SipUaThreads, TransportThreadAndApplicationThread) {
  ASSERT_EQ(eXosip_init(), 0);
  int sock = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
  socklen_t len = sizeof me;
  getsockname(sock, reinterpret_cast<sockaddr*>(&me), &len);
  ASSERT_EQ(eXosip_set_socket(IPPROTO_UDP, sock, ntohs(me.sin_port)), 0);
  int peer = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  from.sin_port = 0;  // answers come back to it through rport
  ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  constexpr int kCalls = 60;
  std::thread sender([&] {
    for (int i = 0; i < kCalls; ++i) {
      std::string m = invite(1000 + i);
      sendto(peer, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&me), sizeof me);
      usleep(2000);
    }
  });
  int invites = 0;
  for (int turns = 0; invites < kCalls && turns < 400; ++turns) {
    eXosip_event_t* e = eXosip_event_wait(0, 50);
    if (!e) continue;
    if (e->type == EXOSIP_CALL_INVITE) {
      ++invites;
      eXosip_call_send_answer(e->tid, 486, nullptr);
    }
    eXosip_event_free(e);
  }
  sender.join();
  EXPECT_EQ(invites, kCalls);
  // Each INVITE got 100 and 486 back on the peer's socket.
  int answers = 0;
  char buf[4096];
  timeval tv{0, 200000};
  setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  while (recv(peer, buf, sizeof buf, 0) > 0) ++answers;
  EXPECT_GE(answers, 2 * kCalls);
  eXosip_quit();
  close(sock);
  close(peer);
}

}  // namespace
