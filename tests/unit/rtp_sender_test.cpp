// The RTP sender over real UDP sockets on the loopback interface.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include "Velmora/registry/Registry.h"
#include "Velmora/rtp/rtp.h"
#include "tests/unit/rtp_test_util.h"

namespace {

struct Header {
  uint8_t b0, b1;
  uint16_t seq;
  uint32_t ts, ssrc;
};

Header parse(const std::vector<uint8_t>& d) {
  Header h{};
  h.b0 = d[0];
  h.b1 = d[1];
  h.seq = static_cast<uint16_t>(d[2] << 8 | d[3]);
  h.ts = static_cast<uint32_t>(d[4]) << 24 | static_cast<uint32_t>(d[5]) << 16 | static_cast<uint32_t>(d[6]) << 8 | d[7];
  h.ssrc = static_cast<uint32_t>(d[8]) << 24 | static_cast<uint32_t>(d[9]) << 16 | static_cast<uint32_t>(d[10]) << 8 | d[11];
  return h;
}

class RtpSenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    gwconfig.localip = "127.0.0.1";
    channel.audioplayer.nsRcvPort = 0;
    ASSERT_EQ(RTP_Sender_Create(&sender, RTP_PT_ALAW, 0, &channel), 0);
    ASSERT_NE(sender, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(RTP_Sender_Destroy(sender), 0);
    gwconfig.localip.clear();
  }
  void add_peer() { ASSERT_EQ(RTP_Sender_Add(sender, "127.0.0.1", peer.port()), 0); }

  S_User channel;
  RTP_SENDER_S* sender = nullptr;
  UdpPeer peer;
};

TEST_F(RtpSenderTest, PacketsCountFromSequenceZeroAndTimestamp3600WithFixedSsrc) {
  add_peer();
  uint8_t payload[160];
  for (int i = 0; i < 3; ++i) {
    memset(payload, 0x10 + i, sizeof payload);
    ASSERT_EQ(RTP_Packet(sender, 160, 0, payload, sizeof payload, RTP_PT_ALAW), 0);
    RTP_Send(sender);
  }
  for (int i = 0; i < 3; ++i) {
    uint16_t from = 0;
    auto d = peer.receive(1000, &from);
    ASSERT_EQ(d.size(), 172u);
    EXPECT_EQ(from, bound_port(sender->sock));
    Header h = parse(d);
    EXPECT_EQ(h.b0, 0x80);
    EXPECT_EQ(h.b1, RTP_PT_ALAW);
    EXPECT_EQ(h.seq, i);
    EXPECT_EQ(h.ts, 3600u + 160u * static_cast<uint32_t>(i));
    EXPECT_EQ(h.ssrc, 41030u);
    for (size_t k = 12; k < d.size(); ++k) ASSERT_EQ(d[k], 0x10 + i);
  }
  EXPECT_EQ(sender->stats.sent_packet, 3u);
  EXPECT_EQ(sender->stats.sent_byte, 3u * 172u);
  EXPECT_EQ(sender->stats.sent_error, 0u);
  EXPECT_EQ(sender->stats.recv_packet, 0u);
}

TEST_F(RtpSenderTest, SequenceAndTimestampWrap) {
  add_peer();
  sender->last_sn = 65534;
  sender->last_ts = 0xFFFFFF00u;
  const uint8_t payload[20] = {};
  const uint16_t want_seq[] = {65534, 65535, 0, 1};
  const uint32_t want_ts[] = {0xFFFFFF00u, 0xFFFFFFA0u, 0x40u, 0xE0u};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(RTP_Packet_Send(sender, 160, 0, payload, sizeof payload, RTP_PT_G729), 32);
  }
  for (int i = 0; i < 4; ++i) {
    auto d = peer.receive();
    ASSERT_EQ(d.size(), 32u);
    Header h = parse(d);
    EXPECT_EQ(h.seq, want_seq[i]);
    EXPECT_EQ(h.ts, want_ts[i]);
  }
}

TEST_F(RtpSenderTest, MarkerAndPayloadTypeBits) {
  add_peer();
  struct Case {
    int marker, pt;
    uint8_t byte1;
  } cases[] = {
      {0, RTP_PT_ULAW, 0x00}, {1, RTP_PT_ULAW, 0x80}, {0, RTP_PT_ALAW, 0x08},
      {1, RTP_PT_G729, 0x92}, {3, 0x7F, 0xFF},        {2, 0x88, 0x08},  // only marker bit 0 and 7 pt bits count
  };
  for (const Case& c : cases) {
    const uint8_t payload[4] = {1, 2, 3, 4};
    ASSERT_EQ(RTP_Packet(sender, 160, c.marker, payload, 4, c.pt), 0);
    RTP_Send(sender);
    auto d = peer.receive();
    ASSERT_EQ(d.size(), 16u);
    EXPECT_EQ(d[1], c.byte1) << "marker " << c.marker << " pt " << c.pt;
  }
}

TEST_F(RtpSenderTest, NothingIsSentOrCountedBeforeATargetIsAdded) {
  const uint8_t payload[160] = {};
  EXPECT_EQ(RTP_Packet(sender, 160, 0, payload, 160, RTP_PT_ALAW), 0);
  EXPECT_EQ(RTP_Send(sender), 0);
  EXPECT_EQ(sender->stats.sent_packet, 0u);
  EXPECT_EQ(sender->stats.sent_byte, 0u);
  EXPECT_EQ(sender->stats.sent_error, 0u);
  EXPECT_TRUE(peer.receive(100).empty());
  // Once the target is there the packet goes out.
  add_peer();
  RTP_Send(sender);
  EXPECT_EQ(peer.receive().size(), 172u);
  EXPECT_EQ(sender->stats.sent_packet, 1u);
  EXPECT_EQ(sender->targethosts.hostState, RTP_TARGETHOST_STATE_REQ_IFrame);
}

TEST_F(RtpSenderTest, AddingATargetAgainReplacesIt) {
  add_peer();
  UdpPeer other;
  ASSERT_EQ(RTP_Sender_Add(sender, "127.0.0.1", other.port()), 0);
  EXPECT_STREQ(sender->targethosts.remote_ip, "127.0.0.1");
  EXPECT_EQ(sender->targethosts.remote_port, other.port());
  const uint8_t payload[8] = {};
  RTP_Packet_Send(sender, 160, 0, payload, 8, RTP_PT_ALAW);
  EXPECT_EQ(other.receive().size(), 20u);
  EXPECT_TRUE(peer.receive(100).empty());
}

TEST_F(RtpSenderTest, PayloadLengthIsBoundedByTheBuffer) {
  add_peer();
  std::vector<uint8_t> payload(RTP_MAX_PAYLOAD + 1, 0x5A);
  EXPECT_EQ(RTP_Packet(sender, 160, 0, payload.data(), RTP_MAX_PAYLOAD + 1, 0), -1);
  EXPECT_EQ(RTP_Packet(sender, 160, 0, payload.data(), -1, 0), -1);
  EXPECT_EQ(RTP_Packet(sender, 160, 0, nullptr, 10, 0), -1);
  ASSERT_EQ(RTP_Packet(sender, 160, 0, payload.data(), RTP_MAX_PAYLOAD, 0), 0);
  EXPECT_EQ(sender->buffLen, RTP_BUFFER_LEN);
  RTP_Send(sender);
  auto d = peer.receive();
  ASSERT_EQ(d.size(), static_cast<size_t>(RTP_BUFFER_LEN));
  EXPECT_EQ(parse(d).seq, 0);  // the refused packets took no sequence number
}

TEST_F(RtpSenderTest, TargetMustBeADottedIpv4Address) {
  for (const char* bad : {"", "localhost", "1.2.3", "127.0.0.1.1", "0000127.000.000.001"}) {
    EXPECT_EQ(RTP_Sender_Add(sender, bad, 4000), -1) << bad;
  }
  EXPECT_FALSE(sender->targethosts.bActive);
}

TEST(RtpSenderCreate, BindsTheConfiguredAddressAndTheChannelPort) {
  gwconfig.localip = "127.0.0.1";
  // A port that was free a moment ago.
  uint16_t port;
  {
    UdpPeer probe;
    port = probe.port();
  }
  S_User channel;
  channel.audioplayer.nsRcvPort = port;
  RTP_SENDER_S* s = nullptr;
  ASSERT_EQ(RTP_Sender_Create(&s, RTP_PT_ULAW, 1234, &channel), 0);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(s->sock, reinterpret_cast<sockaddr*>(&a), &len);
  EXPECT_EQ(ntohs(a.sin_port), port);
  EXPECT_EQ(a.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(s->ssrc, 41030u);
  EXPECT_EQ(s->last_ts, 3600u);
  EXPECT_EQ(s->last_sn, 0);
  EXPECT_EQ(s->pt, RTP_PT_ULAW);
  EXPECT_EQ(s->ext_args, &channel);
  int one = 0;
  len = sizeof one;
  getsockopt(s->sock, SOL_SOCKET, SO_REUSEADDR, &one, &len);
  EXPECT_EQ(one, 1);
  EXPECT_EQ(RTP_Sender_Destroy(s), 0);
  gwconfig.localip.clear();
}

TEST(RtpSenderCreate, FailsCleanlyWhenTheAddressCannotBeBound) {
  S_User channel;
  for (const char* ip : {"192.0.2.1", "not-an-address"}) {
    gwconfig.localip = ip;
    RTP_SENDER_S* s = reinterpret_cast<RTP_SENDER_S*>(&channel);  // must be overwritten
    EXPECT_EQ(RTP_Sender_Create(&s, RTP_PT_ULAW, 0, &channel), -1) << ip;
    EXPECT_EQ(s, nullptr);
  }
  gwconfig.localip.clear();
}

TEST(RtpSenderCreate, NullArgumentsAreRefused) {
  S_User channel;
  RTP_SENDER_S* s = nullptr;
  EXPECT_EQ(RTP_Sender_Create(nullptr, 0, 0, &channel), -1);
  EXPECT_EQ(RTP_Sender_Create(&s, 0, 0, nullptr), -1);
  EXPECT_EQ(RTP_Sender_Add(nullptr, "127.0.0.1", 1), -1);
  EXPECT_EQ(RTP_Packet(nullptr, 160, 0, "x", 1, 0), -1);
  EXPECT_EQ(RTP_Send(nullptr), -1);
  EXPECT_EQ(RTP_Packet_Send(nullptr, 160, 0, "x", 1, 0), -1);
  EXPECT_EQ(RTP_Sender_Destroy(nullptr), -1);
}

// Two threads share one sender, as the receive thread and a voice host thread
// do: every packet must leave whole, with its own sequence number.
TEST_F(RtpSenderTest, TwoThreadsSharingASenderNeverMixTheirPackets) {
  add_peer();
  // Room for every datagram at the peer (the kernel caps and doubles this),
  // so that none is dropped even when the reader falls behind.
  int room = 1 << 20;
  setsockopt(peer.fd(), SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
  constexpr int kEach = 150;
  auto run = [&](uint8_t fill, int len) {
    std::vector<uint8_t> payload(static_cast<size_t>(len), fill);
    for (int i = 0; i < kEach; ++i) {
      RTP_Packet_Send(sender, 160, 0, payload.data(), len, RTP_PT_ALAW);
      if (i % 8 == 7) std::this_thread::yield();
    }
  };
  std::vector<std::vector<uint8_t>> received;
  std::thread reader([&] {
    for (;;) {
      auto d = peer.receive(500);
      if (d.empty()) break;
      received.push_back(std::move(d));
    }
  });
  std::thread a(run, 0xAA, 160);
  std::thread b(run, 0xBB, 20);
  a.join();
  b.join();
  reader.join();
  std::set<uint16_t> seqs;
  for (const auto& d : received) {
    ASSERT_TRUE(d.size() == 172u || d.size() == 32u);
    const uint8_t fill = d.size() == 172u ? 0xAA : 0xBB;
    for (size_t k = 12; k < d.size(); ++k) ASSERT_EQ(d[k], fill);
    const Header h = parse(d);
    EXPECT_TRUE(seqs.insert(h.seq).second) << "sequence " << h.seq << " sent twice";
    EXPECT_EQ(h.ts, 3600u + 160u * h.seq);
  }
  const int got = static_cast<int>(received.size());
  EXPECT_EQ(sender->stats.sent_packet + sender->stats.sent_error, 2u * kEach);
  EXPECT_EQ(sender->stats.sent_error, 0u);
  EXPECT_EQ(got, 2 * kEach);
}

}  // namespace
