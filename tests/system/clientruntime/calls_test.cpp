// The client library against the runtime simulator, the calls: an outgoing
// call rings, goes live when the called party answers and ends when the
// client leaves it; an incoming call arrives as a list change with the
// conversation ringing for the account, is answered and ended by the caller.
// All of it is seen as property changes through OnChange.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/system/clientruntime/SessionFixture.h"

using namespace simtest;

namespace {

TEST(ClientRuntimeSimulator, AnOutgoingCallRingsGoesLiveAndEnds) {
  Sim sim("alice", "ring_delay_ms = 100\n[party echo123]\nanswer = manual\n");
  ASSERT_TRUE(sim.process.ready());
  Client c;
  ASSERT_TRUE(c.connect(sim.process));
  ASSERT_TRUE(c.login("alice", "pw"));

  Call call;
  ASSERT_TRUE(open_call(c, "echo123", call));
  const unsigned conv = call.conversation.get_oid(), remote = call.remote.get_oid();
  ASSERT_TRUE(call.remote->Ring("", false, 0, 0, false, ""));
  ASSERT_TRUE(c.skype.wait_value(PARTICIPANT, remote, Participant::P_VOICE_STATUS, num(Participant::RINGING)))
      << sim.process.log();
  EXPECT_EQ(c.skype.values(PARTICIPANT, remote, Participant::P_VOICE_STATUS),
            (std::vector<std::string>{num(Participant::VOICE_CONNECTING), num(Participant::RINGING)}));
  EXPECT_EQ(c.skype.values(CONVERSATION, conv, Conversation::P_LOCAL_LIVESTATUS),
            (std::vector<std::string>{num(Conversation::STARTING)}));
  EXPECT_EQ(SimProcess::field(sim.process.control("info"), "state"), "ringing");

  // The called party answers.
  ASSERT_EQ(sim.process.control("answer").rfind("OK", 0), 0u);
  ASSERT_TRUE(c.skype.wait_value(CONVERSATION, conv, Conversation::P_LOCAL_LIVESTATUS, num(Conversation::IM_LIVE)));
  EXPECT_EQ(c.skype.values(CONVERSATION, conv, Conversation::P_LOCAL_LIVESTATUS),
            (std::vector<std::string>{num(Conversation::STARTING), num(Conversation::IM_LIVE)}));
  Participant::VOICE_STATUS voice{};
  ASSERT_TRUE(call.remote->GetPropVoiceStatus(voice));
  EXPECT_EQ(voice, Participant::SPEAKING);
  EXPECT_EQ(SimProcess::field(sim.process.control("info"), "state"), "live");

  // The gateway hangs up.
  ASSERT_TRUE(call.conversation->LeaveLiveSession(false));
  ASSERT_TRUE(c.skype.wait_value(PARTICIPANT, remote, Participant::P_VOICE_STATUS, num(Participant::VOICE_STOPPED)));
  ASSERT_TRUE(
      c.skype.wait_value(CONVERSATION, conv, Conversation::P_LOCAL_LIVESTATUS, num(Conversation::RECENTLY_LIVE)));
  std::string info = sim.process.control("info");
  EXPECT_EQ(SimProcess::field(info, "state"), "ended") << info;
  Conversation::LOCAL_LIVESTATUS live{};
  ASSERT_TRUE(call.conversation->GetPropLocalLivestatus(live));
  EXPECT_EQ(live, Conversation::RECENTLY_LIVE);
  EXPECT_TRUE(call.conversation->Delete());
  // The call's end took the conversation off the live list; deleting it
  // takes it off the list of all conversations.
  ASSERT_TRUE(c.skype.wait([&] { return c.skype.list_changes().size() >= 3; })) << sim.process.log();
  const std::vector<simtest::ListChange> changes = c.skype.list_changes();
  ASSERT_EQ(changes.size(), 3u);
  const unsigned LIVE = Conversation::LIVE_CONVERSATIONS, ALL = Conversation::ALL_CONVERSATIONS;
  EXPECT_TRUE(changes[0].type == LIVE && changes[0].added);
  EXPECT_TRUE(changes[1].type == LIVE && !changes[1].added);
  EXPECT_TRUE(changes[2].type == ALL && !changes[2].added);
  EXPECT_EQ(count_lines(sim.process.log(), "^ *[0-9.]+ ERR "), 0u) << sim.process.log();
}


TEST(ClientRuntimeSimulator, AnIncomingCallArrivesRingingForMeAndCanBeAnswered) {
  Sim sim("alice", "");
  ASSERT_TRUE(sim.process.ready());
  Client c;
  ASSERT_TRUE(c.connect(sim.process));
  ASSERT_TRUE(c.login("alice", "pw"));

  std::string reply = sim.process.control("call bob");
  ASSERT_EQ(reply.rfind("OK call=", 0), 0u) << reply;
  const unsigned conv = static_cast<unsigned>(std::stoul(SimProcess::field(reply, "conv")));
  ASSERT_TRUE(c.skype.wait([&] { return !c.skype.list_changes().empty(); })) << sim.process.log();
  simtest::ListChange first = c.skype.list_changes().front();
  EXPECT_EQ(first.oid, conv);
  EXPECT_TRUE(first.added);
  EXPECT_EQ(first.livestatus, static_cast<int>(Conversation::RINGING_FOR_ME));

  // The conversation is live in the list, and the call is answered.
  ConversationRefs live;
  ASSERT_TRUE(c.skype.GetConversationList(live, Conversation::LIVE_CONVERSATIONS));
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(live[0].get_oid(), conv);
  Call call;
  ASSERT_TRUE(open_call(c, "bob", call));
  EXPECT_EQ(call.conversation.get_oid(), conv);
  ASSERT_TRUE(call.conversation->JoinLiveSession(""));
  ASSERT_TRUE(c.skype.wait_value(CONVERSATION, conv, Conversation::P_LOCAL_LIVESTATUS, num(Conversation::IM_LIVE)));
  EXPECT_TRUE(c.skype.wait_value(PARTICIPANT, call.remote.get_oid(), Participant::P_VOICE_STATUS,
                                 num(Participant::SPEAKING)));

  // The caller hangs up.
  ASSERT_EQ(sim.process.control("hangup").rfind("OK", 0), 0u);
  ASSERT_TRUE(c.skype.wait_value(PARTICIPANT, call.remote.get_oid(), Participant::P_VOICE_STATUS,
                                 num(Participant::VOICE_STOPPED)));
  EXPECT_EQ(SimProcess::field(sim.process.control("info"), "state"), "ended");
}

} // namespace
