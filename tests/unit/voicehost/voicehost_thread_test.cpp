// The voice host thread of an account: connecting with the runtime, serving
// it, and winding down when the runtime goes or a stop is requested.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"
#include "tests/unit/voicehost/RuntimePeer.h"

using namespace std::chrono;
using namespace vhtest;

namespace {

struct VoiceHostTest : ::testing::Test {
  void SetUp() override {
    gwconfig.rtpplaytype = 8;
    account.name = unique_account("t");
    account.arg = &gateway;
    account.voicehostrun = true;
  }
  void start() {
    host = std::async(std::launch::async, [this] { return Velmora::RunVoiceHost(&account); });
  }
  bool ended(int seconds_to_wait = 5) {
    return host.wait_for(seconds(seconds_to_wait)) == std::future_status::ready;
  }
  bool fields_empty() { return !account.if_serv && !account.if_client && !account.cb; }
  void wait_published() {
    for (int i = 0; i < 500 && !account.if_serv; ++i) std::this_thread::sleep_for(milliseconds(2));
  }

  Velmora gateway;
  S_Skype account;
  std::future<void*> host;
};

}  // namespace

TEST_F(VoiceHostTest, ServesTheRuntimeAndEndsWhenItCloses) {
  testing::internal::CaptureStdout();
  RuntimePeer runtime(account.name);
  start();
  ASSERT_TRUE(runtime.connect());
  SEString version;
  EXPECT_EQ(runtime.host.GetVersion(version), 1);
  EXPECT_STREQ(version.data(), "RTPLoopback 0.1");
  unsigned count = 0;
  EXPECT_EQ(runtime.host.GetCodecCount(count), 1);
  EXPECT_EQ(count, 1u);
  Sid::SkypeMultiRTPInterface::Codec codec;
  EXPECT_EQ(runtime.host.GetCodec(0, codec), 1);
  EXPECT_STREQ(codec.Name.data(), "PCMA");
  EXPECT_EQ(codec.PayloadType, 8);
  EXPECT_EQ(codec.MaxDesiredPacketLoss, 1u);
  EXPECT_EQ(codec.SupportedPacketSizes, (std::vector<unsigned>{20, 20, 20, 20, 20, 0}));
  Sid::SkypeMultiRTPInterface::Codec none;
  EXPECT_EQ(runtime.host.GetCodec(1, none), 0);
  int channel = -1;
  EXPECT_EQ(runtime.host.CreateChannel(11, 12, channel), 1);
  EXPECT_EQ(channel, 0);
  SEString result;
  EXPECT_EQ(runtime.host.CustomCommand("ping", result), 1);
  EXPECT_STREQ(result.data(), "OK");

  // The host's packets reach the runtime through the account's callback client.
  auto cb = account.cb.get();
  ASSERT_TRUE(cb);
  SEBinary packet;
  packet.resize(172);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(cb->SendRTPPacket(0, packet));
  cb.reset();
  for (int i = 0; i < 500 && runtime.sink.count() < 5; ++i) std::this_thread::sleep_for(milliseconds(2));
  EXPECT_EQ(runtime.sink.count(), 5u);
  EXPECT_EQ(runtime.sink.sizes[0], 172u);

  runtime.close_all();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(fields_empty());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("ProcessCommands command reading failed"), std::string::npos);
}

// Without a runtime listening on the callback name, the host still serves
// calls; packets towards Skype are lost with the trace.
TEST_F(VoiceHostTest, LostCallbackConnection) {
  testing::internal::CaptureStdout();
  RuntimePeer runtime(account.name, false);
  start();
  ASSERT_TRUE(runtime.connect());
  SEString version;
  // Answered once the callback connect has given up.
  EXPECT_EQ(runtime.host.GetVersion(version), 1);
  auto cb = account.cb.get();
  ASSERT_TRUE(cb);
  SEBinary packet("0123456789abcdef", 16);
  EXPECT_FALSE(cb->SendRTPPacket(0, packet));
  cb.reset();
  EXPECT_EQ(runtime.host.GetVersion(version), 1);
  runtime.close_all();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(fields_empty());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("!m_Connected"), std::string::npos);
  EXPECT_NE(out.find("client connect failed"), std::string::npos);
}

// The supervision loop's stop: clear the flag, disconnect both objects.
TEST_F(VoiceHostTest, StopWhileWaitingForTheRuntime) {
  testing::internal::CaptureStdout();
  start();
  wait_published();
  ASSERT_TRUE(account.if_serv);
  account.voicehostrun = false;
  if (auto s = account.if_serv.get()) s->Disconnect();
  if (auto c = account.if_client.get()) c->Disconnect();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(fields_empty());
  testing::internal::GetCapturedStdout();
}

TEST_F(VoiceHostTest, StopBeforeStart) {
  account.voicehostrun = false;
  start();
  ASSERT_TRUE(ended());
  EXPECT_TRUE(fields_empty());
}

// The flag alone ends the host after the next served call.
TEST_F(VoiceHostTest, ClearedFlagEndsAfterTheNextCall) {
  testing::internal::CaptureStdout();
  RuntimePeer runtime(account.name);
  start();
  ASSERT_TRUE(runtime.connect());
  account.voicehostrun = false;
  // The call already under way is still answered; then the host ends.
  SEString version;
  EXPECT_EQ(runtime.host.GetVersion(version), 1);
  ASSERT_TRUE(ended());
  EXPECT_TRUE(fields_empty());
  runtime.close_all();
  testing::internal::GetCapturedStdout();
}
