// Tearing an account's voice host down while other threads send through its
// callback client and ask it to stop. Run under ThreadSanitizer and
// AddressSanitizer: no use of a destroyed object, no data race.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"
#include "tests/unit/voicehost/RuntimePeer.h"

using namespace std::chrono;
using namespace vhtest;

TEST(VoiceHostStress, TeardownWhileSending) {
  gwconfig.rtpplaytype = 0;
  testing::internal::CaptureStdout();
  Velmora gateway;
  constexpr int kRounds = 24;
  size_t delivered = 0;
  for (int round = 0; round < kRounds; ++round) {
    S_Skype account;
    account.name = unique_account("s");
    account.arg = &gateway;
    account.voicehostrun = true;
    RuntimePeer runtime(account.name);
    std::thread host([&] { Velmora::RunVoiceHost(&account); });
    ASSERT_TRUE(runtime.connect());
    // Wait until the callback connection is up, so that packets flow.
    for (int i = 0; i < 1000; ++i) {
      auto c = account.if_client.get();
      if (c && c->IsConnected()) break;
      std::this_thread::sleep_for(milliseconds(1));
    }

    std::atomic<bool> stop{false};
    auto sender = [&] {
      SEBinary packet;
      packet.resize(172);
      while (!stop) {
        if (auto cb = account.cb.get()) cb->SendRTPPacket(0, packet);
      }
    };
    std::thread s1(sender), s2(sender);
    std::this_thread::sleep_for(milliseconds(2 + round % 5));
    switch (round % 3) {
      case 0:  // the supervision loop stops the host
        account.voicehostrun = false;
        if (auto s = account.if_serv.get()) s->Disconnect();
        if (auto c = account.if_client.get()) c->Disconnect();
        break;
      case 1:  // the runtime goes away
        runtime.host.Disconnect();
        break;
      default:  // both at once, from two threads
      {
        std::thread t([&] { runtime.host.Disconnect(); });
        account.voicehostrun = false;
        if (auto s = account.if_serv.get()) s->Disconnect();
        if (auto c = account.if_client.get()) c->Disconnect();
        t.join();
      }
    }
    host.join();
    EXPECT_FALSE(account.if_serv);
    EXPECT_FALSE(account.cb);
    // The senders go on a little after the host has gone.
    std::this_thread::sleep_for(milliseconds(2));
    stop = true;
    s1.join();
    s2.join();
    runtime.close_all();
    delivered += runtime.sink.count();
  }
  testing::internal::GetCapturedStdout();
  EXPECT_GT(delivered, 0u);
}
