// The receiver records and the receive thread, over real UDP sockets on the
// loopback interface. Channels are set up the way the call-audio code does:
// a sender bound to the channel's port, a receiver sharing its socket.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Velmora/registry/Registry.h"
#include "Velmora/rtp/rtp.h"
#include "tests/unit/rtp_test_util.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Delivery {
  S_User* channel;
  Velmora* gateway;
  std::vector<uint8_t> data;
};

// What the callbacks saw.
struct Recorder {
  std::mutex m;
  std::condition_variable cv;
  std::vector<Delivery> got;

  void add(S_User* c, Velmora* g, const char* p, int len) {
    std::lock_guard<std::mutex> l(m);
    got.push_back({c, g, std::vector<uint8_t>(p, p + len)});
    cv.notify_all();
  }
  bool wait_for(size_t n, std::chrono::milliseconds t = 3000ms) {
    std::unique_lock<std::mutex> l(m);
    return cv.wait_for(l, t, [&] { return got.size() >= n; });
  }
  size_t size() {
    std::lock_guard<std::mutex> l(m);
    return got.size();
  }
  // A copy, so that no test holds this lock while taking the channel table's
  // (the receive thread takes them in the other order).
  std::vector<Delivery> snapshot() {
    std::lock_guard<std::mutex> l(m);
    return got;
  }
};

Recorder* recorder = nullptr;

int record_cb(RTP_RECV_Str*, char* p, int len, S_User* c, Velmora* g) {
  recorder->add(c, g, p, len);
  return 0;
}

// Ends the channel's audio the way call teardown does; the channel table is locked.
void stop_audio_locked(S_User& u) {
  if (u.audioplayer.pRevRtp) RTP_Recv_Destroy(u.audioplayer.pRevRtp);
  EXPECT_EQ(u.audioplayer.pRevRtp, nullptr);
  if (u.audiocapture.pSendRTP) RTP_Sender_Destroy(u.audiocapture.pSendRTP);
  u.audiocapture.pSendRTP = nullptr;
  u.status = CHAN_IDLE;
}

// Ends the call from within the receive callback.
int ending_cb(RTP_RECV_Str*, char* p, int len, S_User* c, Velmora* g) {
  recorder->add(c, g, p, len);
  stop_audio_locked(*c);
  return -1;
}

// Counts the supervision calls per channel (read with the channel table locked).
struct CountingSupervisor : RtpRecvSupervisor {
  std::map<S_User*, int> before, after_packet, after_timeout;
  S_User* end_before_poll = nullptr;  // this channel's call is ended in BeforePoll
  void BeforePoll(S_User& u) override {
    ++before[&u];
    if (&u == end_before_poll) stop_audio_locked(u);
  }
  void AfterPacket(S_User& u) override { ++after_packet[&u]; }
  void AfterTimeout(S_User& u) override { ++after_timeout[&u]; }
};

class RtpRecvTest : public ::testing::Test {
protected:
  void SetUp() override {
    recorder = &rec;
    gwconfig.localip = "127.0.0.1";
    ASSERT_TRUE(wait_thread_gone()) << "a receive thread of an earlier test still runs";
  }

  void TearDown() override {
    {
      std::lock_guard<SkypeMutex> l(m_usersmutex);
      for (const std::string& k : keys) stop_audio_locked(users[k]);
    }
    EXPECT_TRUE(wait_thread_gone());
    RTP_Recv_Set_Supervisor(nullptr);
    {
      std::lock_guard<SkypeMutex> l(m_usersmutex);
      for (const std::string& k : keys) users.erase(k);
    }
    pthread_mutex_lock(&gw_sipdata_thread.rec_thread_mutex);
    EXPECT_EQ(gw_sipdata_thread.activesipchannel, 0);
    EXPECT_EQ(gw_sipdata_thread.recrunState, RTP_RUNSTATE_STOP);
    pthread_mutex_unlock(&gw_sipdata_thread.rec_thread_mutex);
    gwconfig.localip.clear();
    recorder = nullptr;
  }

  static bool wait_thread_gone(std::chrono::milliseconds limit = 3000ms) {
    return RTP_Recv_Thread_Wait_Stopped(static_cast<int>(limit.count()));
  }

  // Starts a channel's audio; returns its local RTP port.
  uint16_t attach(const std::string& key, RTP_ON_RECV_CB cb = record_cb, int status = CHAN_CONNECTED) {
    std::lock_guard<SkypeMutex> l(m_usersmutex);
    keys.push_back(key);
    S_User& u = users[key];
    u.status = status;
    u.audioplayer.nsRcvPort = 0;
    RTP_SENDER_S* s = nullptr;
    EXPECT_EQ(RTP_Sender_Create(&s, RTP_PT_ALAW, 0, &u), 0);
    RTP_RECV_Str* r = nullptr;
    const uint16_t port = bound_port(s->sock);
    EXPECT_EQ(RTP_Recv_Create(&r, port, cb, &u, gateway), 0);
    EXPECT_EQ(r->sock, -1);
    r->sock = s->sock;
    u.audiocapture.pSendRTP = s;
    u.audioplayer.pRevRtp = r;
    RTP_Recv_Count_Attached();
    EXPECT_EQ(RTP_Recv_Thread_Start(r), 1);
    return port;
  }

  void detach(const std::string& key) {
    std::lock_guard<SkypeMutex> l(m_usersmutex);
    stop_audio_locked(users[key]);
  }

  S_User* channel(const std::string& key) {
    std::lock_guard<SkypeMutex> l(m_usersmutex);
    return &users[key];
  }

  Recorder rec;
  UdpPeer peer;
  std::vector<std::string> keys;
  int gateway_object = 0;
  Velmora* gateway = reinterpret_cast<Velmora*>(&gateway_object);
};

TEST_F(RtpRecvTest, TwoChannelsGetTheirOwnDatagrams) {
  const uint16_t p1 = attach("rtp-a");
  const uint16_t p2 = attach("rtp-b");
  S_User* a = channel("rtp-a");
  S_User* b = channel("rtp-b");
  const std::string one(172, '1'), two(32, '2');
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(peer.send_to(p1, one.data(), one.size()));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(peer.send_to(p2, two.data(), two.size()));
  ASSERT_TRUE(rec.wait_for(5));
  std::this_thread::sleep_for(50ms);
  const std::vector<Delivery> got = rec.snapshot();
  ASSERT_EQ(got.size(), 5u);
  int from_a = 0, from_b = 0;
  for (const Delivery& d : got) {
    EXPECT_EQ(d.gateway, gateway);
    if (d.channel == a) {
      ++from_a;
      EXPECT_EQ(std::string(d.data.begin(), d.data.end()), one);
    } else {
      ++from_b;
      EXPECT_EQ(d.channel, b);
      EXPECT_EQ(std::string(d.data.begin(), d.data.end()), two);
    }
  }
  EXPECT_EQ(from_a, 3);
  EXPECT_EQ(from_b, 2);
  std::lock_guard<SkypeMutex> ul(m_usersmutex);
  EXPECT_EQ(a->audioplayer.pRevRtp->stats.recv_packet, 3u);
  EXPECT_EQ(a->audioplayer.pRevRtp->stats.recv_byte, 3u * 172u);
  EXPECT_EQ(b->audioplayer.pRevRtp->stats.recv_packet, 2u);
  EXPECT_EQ(b->audioplayer.pRevRtp->stats.recv_byte, 2u * 32u);
}

TEST_F(RtpRecvTest, OversizedDatagramIsDeliveredAs1024Bytes) {
  const uint16_t port = attach("rtp-a");
  std::vector<uint8_t> big(1500);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(peer.send_to(port, big.data(), big.size()));
  ASSERT_TRUE(rec.wait_for(1));
  const std::vector<Delivery> got = rec.snapshot();
  ASSERT_EQ(got[0].data.size(), 1024u);
  EXPECT_TRUE(std::equal(got[0].data.begin(), got[0].data.end(), big.begin()));
}

TEST_F(RtpRecvTest, IdleChannelsAreNotPolled) {
  const uint16_t idle = attach("rtp-idle", record_cb, CHAN_IDLE);
  const uint16_t live = attach("rtp-live");
  S_User* live_channel = channel("rtp-live");
  ASSERT_TRUE(peer.send_to(idle, "idle", 4));
  ASSERT_TRUE(peer.send_to(live, "live", 4));
  ASSERT_TRUE(rec.wait_for(1));
  std::this_thread::sleep_for(300ms);
  const std::vector<Delivery> got = rec.snapshot();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].channel, live_channel);
}

TEST_F(RtpRecvTest, LastReceiverEndsTheThreadAndANewOneStartsAnother) {
  attach("rtp-a");
  const uint16_t pb = attach("rtp-b");
  EXPECT_TRUE(RTP_Recv_Thread_Alive());
  // One of two going leaves the thread serving the other.
  detach("rtp-a");
  std::this_thread::sleep_for(1200ms);
  EXPECT_TRUE(RTP_Recv_Thread_Alive());
  ASSERT_TRUE(peer.send_to(pb, "b", 1));
  ASSERT_TRUE(rec.wait_for(1));

  const auto t0 = Clock::now();
  detach("rtp-b");
  ASSERT_TRUE(wait_thread_gone());
  const auto took = Clock::now() - t0;
  // One poll period is 1 s; the margin is for a loaded machine.
  EXPECT_LT(took, 2500ms) << "the thread should end within about one poll period";

  const uint16_t pc = attach("rtp-c");
  S_User* c = channel("rtp-c");
  EXPECT_TRUE(RTP_Recv_Thread_Alive());
  ASSERT_TRUE(peer.send_to(pc, "c", 1));
  ASSERT_TRUE(rec.wait_for(2));
  EXPECT_EQ(rec.snapshot()[1].channel, c);
}

// A receiver attached again while the thread is still finishing its last
// poll keeps it serving.
TEST_F(RtpRecvTest, ReceiverAttachedWhileTheThreadFinishesIsServed) {
  attach("rtp-a");
  detach("rtp-a");  // the thread is in its poll and will find the state STOP
  const uint16_t pb = attach("rtp-b");
  std::this_thread::sleep_for(1300ms);
  EXPECT_TRUE(RTP_Recv_Thread_Alive());
  ASSERT_TRUE(peer.send_to(pb, "b", 1));
  ASSERT_TRUE(rec.wait_for(1));
}

// The thread started for a receiver that has no socket yet finds nothing to
// poll and ends; it must not leave the state RUNNING behind, or no thread
// would be started for the next receiver.
TEST_F(RtpRecvTest, ThreadWithNothingToPollEndsAndCanBeStartedAgain) {
  RTP_RECV_Str* bare = nullptr;
  {
    std::lock_guard<SkypeMutex> l(m_usersmutex);
    keys.push_back("rtp-bare");
    S_User& u = users["rtp-bare"];
    u.status = CHAN_CONNECTED;
    ASSERT_EQ(RTP_Recv_Create(&bare, 0, record_cb, &u, gateway), 0);
    u.audioplayer.pRevRtp = bare;
    RTP_Recv_Count_Attached();
    ASSERT_EQ(RTP_Recv_Thread_Start(bare), 1);
  }
  ASSERT_TRUE(wait_thread_gone(2000ms));
  const uint16_t port = attach("rtp-a");
  EXPECT_TRUE(RTP_Recv_Thread_Alive());
  ASSERT_TRUE(peer.send_to(port, "a", 1));
  ASSERT_TRUE(rec.wait_for(1));
}

TEST_F(RtpRecvTest, SupervisionHooksRunPerPollPacketAndTimeout) {
  CountingSupervisor sup;
  RTP_Recv_Set_Supervisor(&sup);
  const uint16_t port = attach("rtp-a");
  S_User* a = channel("rtp-a");
  std::this_thread::sleep_for(1300ms);  // nothing arrives: one poll times out
  {
    std::lock_guard<SkypeMutex> l(m_usersmutex);
    EXPECT_GE(sup.after_timeout[a], 1);
    EXPECT_GE(sup.before[a], 2);
    EXPECT_EQ(sup.after_packet[a], 0);
    a->audioplayer.countfail = 3;
    a->countmissdata = 40;
  }
  ASSERT_TRUE(peer.send_to(port, "x", 1));
  ASSERT_TRUE(rec.wait_for(1));
  std::this_thread::sleep_for(50ms);
  std::lock_guard<SkypeMutex> l(m_usersmutex);
  EXPECT_EQ(sup.after_packet[a], 1);
  EXPECT_EQ(a->audioplayer.countfail, 0);  // a packet clears the loss counters
  EXPECT_EQ(a->countmissdata, 0);
}

// Supervision or a callback may end the call and so free the receiver in the
// middle of a pass; the thread carries on with the other channels.
TEST_F(RtpRecvTest, CallsEndedDuringAPassAreLeftAlone) {
  CountingSupervisor sup;
  RTP_Recv_Set_Supervisor(&sup);
  const uint16_t pe = attach("rtp-ends", ending_cb);
  const uint16_t pk = attach("rtp-keeps");
  ASSERT_TRUE(peer.send_to(pe, "e", 1));
  ASSERT_TRUE(rec.wait_for(1));
  ASSERT_TRUE(peer.send_to(pe, "e", 1));  // nobody listens any more
  ASSERT_TRUE(peer.send_to(pk, "k", 1));
  ASSERT_TRUE(rec.wait_for(2));
  std::this_thread::sleep_for(50ms);
  {
    std::lock_guard<SkypeMutex> l(m_usersmutex);
    S_User& ends = users["rtp-ends"];
    EXPECT_EQ(ends.audioplayer.pRevRtp, nullptr);
    EXPECT_EQ(sup.after_packet[&ends], 1);  // the hook still ran for the packet
    sup.end_before_poll = &users["rtp-keeps"];
  }
  // This datagram ends the current pass; the next one ends the call in BeforePoll.
  ASSERT_TRUE(peer.send_to(pk, "k", 1));
  ASSERT_TRUE(rec.wait_for(3));
  const auto end = Clock::now() + 3s;
  for (;;) {
    {
      std::lock_guard<SkypeMutex> l(m_usersmutex);
      if (users["rtp-keeps"].audioplayer.pRevRtp == nullptr) break;
    }
    ASSERT_LT(Clock::now(), end);
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(peer.send_to(pk, "k", 1));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(rec.size(), 3u);
  EXPECT_TRUE(wait_thread_gone());  // no channel left to poll
}

// A receiver whose socket was closed by its sender is dropped from the poll
// set instead of waking the thread again and again.
TEST_F(RtpRecvTest, ReceiverWhoseSocketWasClosedIsNoLongerPolled) {
  CountingSupervisor sup;
  RTP_Recv_Set_Supervisor(&sup);
  attach("rtp-a");
  S_User* a = channel("rtp-a");
  std::this_thread::sleep_for(50ms);  // the thread is in its poll
  {
    std::lock_guard<SkypeMutex> l(m_usersmutex);
    RTP_Sender_Destroy(a->audiocapture.pSendRTP);
    a->audiocapture.pSendRTP = nullptr;
  }
  ASSERT_TRUE(wait_thread_gone(2000ms));
  std::lock_guard<SkypeMutex> l(m_usersmutex);
  EXPECT_EQ(a->audioplayer.pRevRtp->sock, -1);
  EXPECT_LT(sup.before[a], 5);  // no busy loop over the dead socket
}

TEST(RtpRecvCreate, ReceiverStartsEmptyAndNullArgumentsAreRefused) {
  RTP_RECV_Str* r = nullptr;
  EXPECT_EQ(RTP_Recv_Create(nullptr, 1, record_cb, nullptr, nullptr), -1);
  EXPECT_EQ(RTP_Recv_Thread_Start(nullptr), -1);
  EXPECT_EQ(RTP_Recv_Destroy(nullptr), -1);
  ASSERT_EQ(RTP_Recv_Create(&r, 10002, record_cb, nullptr, nullptr), 0);
  EXPECT_EQ(r->listen_port, 10002);
  EXPECT_EQ(r->sock, -1);
  EXPECT_EQ(r->rtp_on_recv, &record_cb);
  EXPECT_EQ(r->recqueue.in, -1);
  EXPECT_EQ(r->recqueue.out, -1);
  EXPECT_EQ(r->recqueue.count, 0);
  EXPECT_EQ(r->stats.recv_packet, 0u);
  // Destroying an uncounted receiver leaves the count at 0.
  EXPECT_EQ(RTP_Recv_Destroy(r), 0);
  pthread_mutex_lock(&gw_sipdata_thread.rec_thread_mutex);
  EXPECT_EQ(gw_sipdata_thread.activesipchannel, 0);
  pthread_mutex_unlock(&gw_sipdata_thread.rec_thread_mutex);
}

}  // namespace
