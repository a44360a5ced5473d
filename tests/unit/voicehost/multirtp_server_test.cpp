// The multi-RTP interface server and callback client with the gateway's
// implementation behind them, byte for byte on real abstract sockets.

#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "Velmora/registry/Registry.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"
#include "tests/unit/voicehost/SocketTestUtil.h"
#include "tests/unit/voicehost/WireBytes.h"

using namespace vhtest;

namespace {

// A server serving the gateway's implementation for one account, with a raw
// peer in the runtime's place.
class ServerTest : public ::testing::Test {
protected:
  void SetUp() override {
    gwconfig.rtpplaytype = 8;
    account.name = "acct";
    impl = Sid::SkypeMultiRTPInterfaceGet(&client, &account);
    server.set_if(impl.get());
    key = unique_key("from_skypekit");
    testing::internal::CaptureStdout();
    auto connected = std::async(std::launch::async, [&] { return server.Connect(key.c_str(), 0); });
    peer = peer_connect(key);
    ASSERT_TRUE(connected.get());
    ASSERT_GE(peer, 0);
    serving = std::async(std::launch::async, [&] {
      int st;
      while ((st = server.ProcessCommands()) == 0) {
      }
      return st;
    });
  }
  void TearDown() override {
    if (peer >= 0) close(peer);
    if (serving.valid()) serving.wait_for(std::chrono::seconds(5));
    server.Disconnect();
    output = testing::internal::GetCapturedStdout();
    server.set_if(nullptr);
    impl.reset();
  }

  // Sends a request and returns what arrives within a short wait.
  Bytes exchange(const Bytes& request, size_t expect) {
    EXPECT_TRUE(write_all(peer, request.data(), request.size()));
    Bytes got = read_exact(peer, expect, 3000);
    Bytes extra = read_available(peer, 30);
    got.insert(got.end(), extra.begin(), extra.end());
    return got;
  }

  S_Skype account;
  Sid::SkypeMultiRTPCallbackInterfaceClient client;  // never connected here
  Sid::SkypeMultiRTPInterfaceServer server;
  std::unique_ptr<Sid::SkypeMultiRTPInterface> impl;
  std::string key;
  int peer = -1;
  std::future<int> serving;
  std::string output;
};

Bytes rv_response(uint32_t rid, int rv) {
  Bytes b = response(rid);
  field_i(b, 1, rv);
  b.push_back('z');
  return b;
}

}  // namespace

TEST_F(ServerTest, GetVersionAndCount) {
  Bytes rq = call(1, 0);
  rq.push_back('z');
  Bytes want = response(0);
  field_s(want, 1, "RTPLoopback 0.1");
  field_i(want, 2, 1);
  want.push_back('z');
  EXPECT_EQ(hex(exchange(rq, want.size())), hex(want));

  rq = call(21, 1);
  rq.push_back('z');
  want = response(1);
  field_u(want, 1, 1);
  field_i(want, 2, 1);
  want.push_back('z');
  EXPECT_EQ(hex(exchange(rq, want.size())), hex(want));
}

// Methods outside the table get the error response; the connection goes on.
TEST_F(ServerTest, UnknownMethodsGetTheErrorResponse) {
  for (unsigned method : {0u, 99u, 5u, 300u}) {
    Bytes rq = call(method, 300);
    field_i(rq, 1, 7);  // parameters are skipped
    field_s(rq, 4, "x");
    rq.push_back('z');
    Bytes want = error_response(300);
    EXPECT_EQ(hex(exchange(rq, want.size())), hex(want)) << method;
  }
  Bytes rq = call(3, 9);
  rq.push_back('z');
  EXPECT_EQ(hex(exchange(rq, 6)), hex(rv_response(9, 1)));
}

// SubmitRTPPacket (the example call) and InformSendPacketLoss answer nothing.
TEST_F(ServerTest, CallsWithoutResponse) {
  Bytes packet(172);
  for (size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<unsigned char>(i);
  Bytes submit{0x5A, 0x52, 0x00, 0x28, 0xAC, 0x02, 0x69, 0x01, 0x02, 0x42, 0x02, 0xAC, 0x01};
  submit.insert(submit.end(), packet.begin(), packet.end());
  submit.push_back(0x7A);
  EXPECT_TRUE(exchange(submit, 0).empty());

  Bytes loss = call(23, 301);
  field_i(loss, 1, 1);
  field_u(loss, 2, 3);
  field_u(loss, 3, 4);
  field_u(loss, 4, 5);
  field_u(loss, 5, 6);
  loss.push_back('z');
  EXPECT_TRUE(exchange(loss, 0).empty());
  // A packet too short to carry an RTP header is dropped the same way.
  Bytes tiny = call(40, 302);
  field_i(tiny, 1, 1);
  field_b(tiny, 2, Bytes(5, 0xEE));
  tiny.push_back('z');
  EXPECT_TRUE(exchange(tiny, 0).empty());

  Bytes init = call(4, 303);
  init.push_back('z');
  EXPECT_EQ(hex(exchange(init, 7)), hex(rv_response(303, 1)));
}

// GetCodec(0) answers the configured SIP codec, every field written.
TEST_F(ServerTest, GetCodecOfEachConfiguredCodec) {
  struct Row {
    int rtpplaytype;
    const char* name;
    int bitrate;
  } rows[] = {{0, "PCMU", 64000}, {8, "PCMA", 64000}, {18, "G729", 8000}};
  uint32_t rid = 40;
  for (const Row& r : rows) {
    gwconfig.rtpplaytype = r.rtpplaytype;
    Bytes rq = call(20, rid);
    field_u(rq, 1, 0);
    rq.push_back('z');
    Bytes want = response(rid);
    put(want, {'{', 1});
    field_s(want, 10, r.name);
    field_i(want, 11, r.rtpplaytype);
    field_i(want, 12, 8000);
    field_i(want, 13, 1);
    put(want, {'[', 14, 'u', 20, 'u', 20, 'u', 20, 'u', 20, 'u', 20, 'u', 0, ']'});
    field_i(want, 15, 20);
    field_i(want, 16, r.bitrate);
    field_i(want, 17, r.bitrate);
    field_u(want, 18, 1);
    want.push_back('z');
    field_u(want, 20, 1);
    want.push_back('z');
    EXPECT_EQ(hex(exchange(rq, want.size())), hex(want)) << r.name;
    ++rid;
  }
  // Any other id: rv 0 and an empty record, whatever was asked before.
  Bytes rq = call(20, rid);
  field_u(rq, 1, 1);
  rq.push_back('z');
  Bytes want = response(rid);
  put(want, {'{', 1});
  field_s(want, 10, "");
  field_i(want, 11, 0);
  field_i(want, 12, 0);
  field_i(want, 13, 0);
  put(want, {'[', 14, ']'});
  field_i(want, 15, 0);
  field_i(want, 16, 0);
  field_i(want, 17, 0);
  field_u(want, 18, 0);
  want.push_back('z');
  field_u(want, 20, 0);
  want.push_back('z');
  EXPECT_EQ(hex(exchange(rq, want.size())), hex(want));
}

TEST_F(ServerTest, ChannelAndCommandCalls) {
  Bytes rq = call(10, 1);
  field_u(rq, 1, 77);
  field_u(rq, 2, 5);
  rq.push_back('z');
  Bytes want = response(1);
  field_i(want, 1, 0);  // the first channel
  field_i(want, 2, 1);
  want.push_back('z');
  EXPECT_EQ(hex(exchange(rq, want.size())), hex(want));

  // Every method with an rv-only answer.
  for (unsigned method : {11u, 12u, 22u, 30u, 31u, 32u, 33u, 41u, 50u}) {
    rq = call(method, method);
    field_i(rq, 1, 0);
    rq.push_back('z');
    EXPECT_EQ(hex(exchange(rq, 6)), hex(rv_response(method, 1))) << method;
  }

  rq = call(51, 2);
  field_s(rq, 1, "anything");
  rq.push_back('z');
  want = response(2);
  field_s(want, 1, "OK");
  field_i(want, 2, 1);
  want.push_back('z');
  EXPECT_EQ(hex(exchange(rq, want.size())), hex(want));

  rq = call(2, 3);
  rq.push_back('z');
  want = response(3);
  field_i(want, 1, 0);
  want.push_back('z');
  EXPECT_EQ(hex(exchange(rq, want.size())), hex(want));
}

// The runtime closing its connection ends the server with a non-zero status.
TEST_F(ServerTest, PeerCloseEndsTheServer) {
  close(peer);
  peer = -1;
  ASSERT_EQ(serving.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_NE(serving.get(), 0);
}

// A length prefix far beyond any RTP packet is refused before anything is
// allocated, and ends the connection as a decoding failure.
TEST_F(ServerTest, AbsurdLengthIsRefused) {
  Bytes rq = call(40, 1);
  field_i(rq, 1, 0);
  put(rq, {'B', 2, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F});
  ASSERT_TRUE(write_all(peer, rq.data(), rq.size()));
  ASSERT_EQ(serving.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(serving.get(), 1);  // ERR_DECODE
  EXPECT_TRUE(read_available(peer, 30).empty());
}

// The callback example: channel 0, request id 7, a 172-byte packet.
TEST(CallbackClient, SendRTPPacketBytes) {
  std::string key = unique_key("to_skypekit");
  int listener = peer_listen(key);
  ASSERT_GE(listener, 0);
  Sid::SkypeMultiRTPCallbackInterfaceClient client;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(client.Connect(key.c_str(), 500));
  int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  SEBinary packet;
  packet.resize(172);
  for (size_t i = 0; i < 172; ++i) packet.data()[i] = static_cast<char>(i * 3);
  for (int rid = 0; rid < 7; ++rid) ASSERT_TRUE(client.SendRTPPacket(0, packet));
  size_t each = 12 + 172 + 1;
  EXPECT_EQ(read_exact(peer, 7 * each).size(), 7 * each);
  ASSERT_TRUE(client.SendRTPPacket(0, packet));
  Bytes want{0x5A, 0x52, 0x00, 0x01, 0x07, 0x69, 0x01, 0x00, 0x42, 0x02, 0xAC, 0x01};
  for (size_t i = 0; i < 172; ++i) want.push_back(static_cast<unsigned char>(i * 3));
  want.push_back(0x7A);
  EXPECT_EQ(hex(read_exact(peer, want.size())), hex(want));
  client.Disconnect();
  testing::internal::GetCapturedStdout();
  close(peer);
  close(listener);
}

// Nobody listens on the callback name: the connect gives up and every packet
// fails with the trace.
TEST(CallbackClient, UnconnectedSendFails) {
  Sid::SkypeMultiRTPCallbackInterfaceClient client;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(client.Connect(unique_key("nobody").c_str(), 500));
  SEBinary packet("0123456789abcdef", 16);
  EXPECT_FALSE(client.SendRTPPacket(3, packet));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("!m_Connected"), std::string::npos) << out;
}
