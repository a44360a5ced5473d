// The gateway's voice interface implementation: channel allocation, binding
// channels to channel records, answering the SIP leg.

#include <gtest/gtest.h>

#include <memory>

#include "Velmora/Velmora.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/voicehost/RTPLoopback.h"

namespace {

class LoopbackTest : public ::testing::Test {
protected:
  void SetUp() override {
    users.clear();
    v_state.clear();
    accountA.name = "alice";
    accountB.name = "bob";
    accountA.arg = &gateway;
    accountB.arg = &gateway;
    gateway.sip_call_accept = [this](S_User& u) { accepted.push_back(u.userid); };
  }
  void TearDown() override {
    users.clear();
    v_state.clear();
    gw_clock_reset();
  }

  S_User& record(const std::string& key, S_Skype* account, int status, int channel = -1, int calltype = 1) {
    S_User& u = users[key];
    u.userid = static_cast<int>(users.size());
    u.skype = account;
    u.status = status;
    u.calltype = calltype;
    u.audioplayer.channel = channel;
    u.pos = 99;
    return u;
  }

  Velmora gateway;
  S_Skype accountA;
  S_Skype accountB;
  RTPLoopback hostA{nullptr, &accountA};
  std::vector<int> accepted;
};

int create(RTPLoopback& host, unsigned member) {
  int channel = -7;
  EXPECT_EQ(host.CreateChannel(member, 1000 + member, channel), 1);
  return channel;
}

}  // namespace

TEST_F(LoopbackTest, ChannelsAreTheLowestFreeBits) {
  EXPECT_EQ(create(hostA, 1), 0);
  EXPECT_EQ(create(hostA, 2), 1);
  EXPECT_EQ(create(hostA, 3), 2);
  EXPECT_EQ(hostA.DeleteChannel(1), 1);
  EXPECT_EQ(create(hostA, 4), 1);
  EXPECT_EQ(hostA.active_channels(), 0x7u);
  for (int bad : {32, -1, 1000}) {
    EXPECT_EQ(hostA.DeleteChannel(bad), 1);
    EXPECT_EQ(hostA.active_channels(), 0x7u) << bad;
  }
  // StopPlayback frees the channel named by the low five bits.
  EXPECT_EQ(hostA.StopPlayback(32 + 2), 1);
  EXPECT_EQ(hostA.active_channels(), 0x3u);
}

TEST_F(LoopbackTest, AFullMaskAnswersZero) {
  for (unsigned i = 0; i < 32; ++i) EXPECT_EQ(create(hostA, 100 + i), static_cast<int>(i));
  EXPECT_EQ(hostA.active_channels(), 0xFFFFFFFFu);
  EXPECT_EQ(create(hostA, 500), 0);
  EXPECT_EQ(hostA.active_channels(), 0xFFFFFFFFu);
}

// The first free record of this account gets the channel; another account's
// record is never bound, even when it comes first.
TEST_F(LoopbackTest, BindsOnlyThisAccountsRecord) {
  S_User& b = record("a-first", &accountB, CHAN_PLACED);
  record("b-idle", &accountA, CHAN_IDLE);
  record("c-busy", &accountA, CHAN_PLACED, 5);
  S_User& a = record("d-free", &accountA, CHAN_PLACED);
  S_User& a2 = record("e-free", &accountA, CHAN_PLACED);
  accountA.vhstate->skype_in_use = true;
  accountB.vhstate->skype_in_use = true;

  EXPECT_EQ(create(hostA, 4242), 0);
  EXPECT_EQ(a.audioplayer.channel, 0);
  EXPECT_EQ(a.call_member_id, "4242");
  EXPECT_EQ(a.pos, 0);
  EXPECT_EQ(b.audioplayer.channel, -1);
  EXPECT_EQ(b.call_member_id, "");
  EXPECT_EQ(a2.audioplayer.channel, -1);
  EXPECT_FALSE(accountA.vhstate->skype_in_use);
  EXPECT_TRUE(accountB.vhstate->skype_in_use);
  EXPECT_TRUE(accountA.vhstate->participantchannel.empty());

  // A record without an account is not taken either.
  users.clear();
  record("x", nullptr, CHAN_PLACED);
  EXPECT_EQ(create(hostA, 9), 1);
  EXPECT_EQ(users["x"].audioplayer.channel, -1);
}

// With no record to bind, the channel waits for call control under its
// call-member id; a second channel for the same id leaves the first.
TEST_F(LoopbackTest, UnboundChannelsWaitInParticipantChannel) {
  record("other-account", &accountB, CHAN_ALERTING);
  accountA.vhstate->skype_in_use = true;
  EXPECT_EQ(create(hostA, 77), 0);
  EXPECT_EQ(create(hostA, 77), 1);
  EXPECT_EQ(create(hostA, 78), 2);
  const auto& waiting = accountA.vhstate->participantchannel;
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_EQ(waiting.at(77), 0);
  EXPECT_EQ(waiting.at(78), 2);
  EXPECT_TRUE(accountB.vhstate->participantchannel.empty());
  EXPECT_TRUE(accountA.vhstate->skype_in_use);  // cleared only when a record is bound
}

// The Skype callee starting its audio answers the SIP leg once.
TEST_F(LoopbackTest, StartRecordingAnswersTheSipLeg) {
  struct Case {
    int status;
    int channel;
    S_Skype* account;
    bool answered;
  } cases[] = {
      {CHAN_ALERTING, 3, &accountA, true},  {CHAN_EARLY, 3, &accountA, true},
      {CHAN_CONNECTED, 3, &accountA, false}, {CHAN_PLACED, 3, &accountA, false},
      {CHAN_ALERTING, 4, &accountA, false}, {CHAN_ALERTING, 3, &accountB, false},
  };
  gw_clock_set(1700000000);
  for (const Case& c : cases) {
    users.clear();
    v_state.clear();
    accepted.clear();
    S_User& u = record("r", c.account, c.status, c.channel, CALL_SIP_TO_SKYPE);
    EXPECT_EQ(hostA.StartRecording(3), 1);
    EXPECT_EQ(accepted.size(), c.answered ? 1u : 0u) << c.status << " " << c.channel;
    EXPECT_EQ(u.status, c.answered ? CHAN_CONNECTED : c.status);
    EXPECT_EQ(u.startconversation, c.answered ? 1700000000 : 0);
    ASSERT_EQ(v_state.size(), c.answered ? 1u : 0u);
    if (c.answered) {
      EXPECT_EQ(v_state[0].status, CHAN_CONNECTED);
    }
  }
  // Only the first matching record is answered.
  users.clear();
  accepted.clear();
  record("a", &accountA, CHAN_ALERTING, 3);
  record("b", &accountA, CHAN_EARLY, 3);
  hostA.StartRecording(3);
  EXPECT_EQ(accepted.size(), 1u);
  EXPECT_EQ(users["b"].status, CHAN_EARLY);
}

TEST_F(LoopbackTest, FixedAnswers) {
  SEString version;
  EXPECT_EQ(hostA.GetVersion(version), 1);
  EXPECT_STREQ(version.data(), "RTPLoopback 0.1");
  unsigned count = 0;
  EXPECT_EQ(hostA.GetCodecCount(count), 1);
  EXPECT_EQ(count, 1u);
  SEString result;
  EXPECT_EQ(hostA.CustomCommand("x", result), 1);
  EXPECT_STREQ(result.data(), "OK");
  EXPECT_EQ(hostA.GetLastError(), 0);

  gwconfig.rtpplaytype = 8;
  Sid::SkypeMultiRTPInterface::Codec codec;
  EXPECT_EQ(hostA.GetCodec(0, codec), 1);
  EXPECT_STREQ(codec.Name.data(), "PCMA");
  EXPECT_EQ(codec.SupportedPacketSizes, (std::vector<unsigned>{20, 20, 20, 20, 20, 0}));
  Sid::SkypeMultiRTPInterface::Codec untouched;
  untouched.Freq = 5;
  EXPECT_EQ(hostA.GetCodec(1, untouched), 0);
  EXPECT_EQ(untouched.Freq, 5);
  // No row for a SIP codec the gateway does not know.
  gwconfig.rtpplaytype = 3;
  EXPECT_EQ(hostA.GetCodec(0, untouched), 0);
  gwconfig.rtpplaytype = 8;
}
