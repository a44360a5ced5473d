// The generated API classes: what each bound method puts on the wire and
// how its results come back, the account lookup's purge rule, enumeration text.
#include <functional>
#include <future>

#include <gtest/gtest.h>

#include "tests/unit/clientruntime/ScriptedRuntime.h"
#include "tests/unit/clientruntime/TestSkype.h"

using testpeer::Bytes;
using testpeer::RecordingSkype;
using testpeer::Runtime;

namespace {

struct Objects {
  RecordingSkype& skype;
  ConversationRef convo{5, &skype};
  ParticipantRef part{10, &skype};
  AccountRef account{3, &skype};
};

struct Case {
  const char* name;
  unsigned modid, method;
  std::string params;   // the parameter message the client must send
  std::string results;  // the reply's parameter message
  std::function<bool(Objects&)> call;
  std::function<void(Objects&)> check;
};

TEST(SkypeApi, MethodsPutTheirParametersOnTheWireAndDecodeResults) {
  ConversationRefs convos;
  ParticipantRefs parts;
  MessageRef message;
  VideoRef video;
  bool started = false;
  ConversationRef byname;
  const Case cases[] = {
      {"Start", 0, 145, "z", "T\x01z", [&](Objects& o) { return o.skype.Start(started); },
       [&](Objects&) { EXPECT_TRUE(started); }},
      {"GetConversationList", 0, 18, Bytes().c('e').u(1).u(3).c('z'),
       Bytes().c('[').u(1).c('O').u(21).c('O').u(22).s("]z"),
       [&](Objects& o) { return o.skype.GetConversationList(convos, Conversation::LIVE_CONVERSATIONS); },
       [&](Objects&) {
         ASSERT_EQ(convos.size(), 2u);
         EXPECT_EQ(convos[0].get_oid(), 21u);
         EXPECT_EQ(convos[1].get_oid(), 22u);
         EXPECT_EQ(convos[1].get_modid(), 18u);
       }},
      {"GetConversationByIdentity", 0, 15, Bytes().c('S').u(1).str("+15550100").c('z'), Bytes().c('O').u(1).u(31).c('z'),
       [&](Objects& o) { return o.skype.GetConversationByIdentity("+15550100", byname); },
       [&](Objects&) { EXPECT_EQ(byname.get_oid(), 31u); }},
      {"LoginWithPassword defaults", 5, 6, Bytes().c('O').u(0).u(3).c('S').u(1).str("pw").c('z'), "z",
       [](Objects& o) { return o.account->LoginWithPassword("pw", false, true); }, nullptr},
      {"LoginWithPassword set", 5, 6, Bytes().c('O').u(0).u(3).c('S').u(1).str("pw").c('T').u(2).c('F').u(3).c('z'), "z",
       [](Objects& o) { return o.account->LoginWithPassword("pw", true, false); }, nullptr},
      {"JoinLiveSession", 18, 10, Bytes().c('O').u(0).u(5).c('S').u(1).str("tok").c('z'), "z",
       [](Objects& o) { return o.convo->JoinLiveSession("tok"); }, nullptr},
      {"LeaveLiveSession", 18, 15, Bytes().c('O').u(0).u(5).c('T').u(1).c('z'), "z",
       [](Objects& o) { return o.convo->LeaveLiveSession(true); }, nullptr},
      {"SendDTMF default length", 18, 16, Bytes().c('O').u(0).u(5).c('e').u(1).u(5).c('z'), "z",
       [](Objects& o) { return o.convo->SendDTMF(Participant::DTMF_5, 260); }, nullptr},
      {"SendDTMF length 100", 18, 16, Bytes().c('O').u(0).u(5).c('e').u(1).u(11).c('u').u(2).u(100).c('z'), "z",
       [](Objects& o) { return o.convo->SendDTMF(Participant::DTMF_POUND, 100); }, nullptr},
      {"PostText", 18, 19, Bytes().c('O').u(0).u(5).c('S').u(1).str("hi").c('z'), Bytes().c('O').u(1).u(77).c('z'),
       [&](Objects& o) { return o.convo->PostText("hi", message, false); },
       [&](Objects&) { EXPECT_EQ(message.get_oid(), 77u); }},
      {"GetParticipants", 18, 38, Bytes().c('O').u(0).u(5).c('e').u(1).u(5).c('z'),
       Bytes().c('[').u(1).c('O').u(10).c('O').u(11).s("]z"),
       [&](Objects& o) { return o.convo->GetParticipants(parts, Conversation::OTHER_CONSUMERS); },
       [&](Objects& o) {
         ASSERT_EQ(parts.size(), 2u);
         EXPECT_EQ(parts[0], o.part);   // the same object as the reference held
         EXPECT_EQ(parts[1].get_oid(), 11u);
       }},
      {"Delete", 18, 47, Bytes().c('O').u(0).u(5).c('z'), "z", [](Objects& o) { return o.convo->Delete(); }, nullptr},
      {"Ring", 19, 3,
       Bytes().c('O').u(0).u(10).c('S').u(1).str("+15550100").c('u').u(3).u(2).c('S').u(6).str("gw").c('z'), "z",
       [](Objects& o) { return o.part->Ring("+15550100", false, 2, 0, false, "gw"); }, nullptr},
      {"GetVideo", 19, 4, Bytes().c('O').u(0).u(10).c('z'), Bytes().c('O').u(1).u(90).c('z'),
       [&](Objects& o) { return o.part->GetVideo(video); }, [&](Objects&) { EXPECT_EQ(video.get_oid(), 90u); }},
  };
  Runtime rt;
  RecordingSkype skype;
  ASSERT_TRUE(rt.connect(skype));
  Objects objects{skype};
  ASSERT_TRUE(objects.convo.fetch() && objects.part.fetch() && objects.account.fetch());
  unsigned rid = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = std::async(std::launch::async, [&] { return c.call(objects); });
    ASSERT_TRUE(rt.expect(testpeer::call(c.modid, c.method, rid, c.params)));
    rt.send(testpeer::reply(rid, c.results));
    EXPECT_TRUE(f.get());
    if (c.check) c.check(objects);
    ++rid;
  }
}

// One session with its scripted runtime, looking accounts up.
struct LookupSession {
  Runtime rt;
  RecordingSkype skype;
  unsigned rid = 0;
  bool connect() { return rt.connect(skype); }
  bool lookup(const char* name, AccountRef& out, unsigned oid = 3) {
    auto f = std::async(std::launch::async, [&] { return skype.GetAccount(name, out); });
    EXPECT_TRUE(rt.expect(testpeer::call(0, 115, rid, Bytes().c('S').u(1).str(name).c('z'))));
    rt.send(testpeer::reply(rid++, Bytes().c('O').u(1).u(oid).c('z')));
    return f.get();
  }
};

TEST(SkypeApi, LookingUpAnotherAccountPurgesTheSession) {
  LookupSession s;
  ASSERT_TRUE(s.connect());
  RecordingSkype& skype = s.skype;
  AccountRef a;
  ASSERT_TRUE(s.lookup("api-test-first", a));
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  unsigned gen = skype.generation();
  AccountRef same;
  ASSERT_TRUE(s.lookup("api-test-first", same));
  EXPECT_EQ(skype.generation(), gen);
  EXPECT_NE(c.fetch(), nullptr);
  EXPECT_EQ(same, a);
  AccountRef other;
  ASSERT_TRUE(s.lookup("api-test-second", other));
  EXPECT_EQ(skype.generation(), gen + 1);
  EXPECT_EQ(c.fetch(), nullptr);
  EXPECT_NE(other.fetch(), nullptr);
  EXPECT_EQ(skype.logging_out(), 0u);
}

// The gateway serves several accounts, one session each: a session asking
// again for its own account (a re-login) keeps its proxies and references
// whatever the other sessions looked up in between.
TEST(SkypeApi, EachSessionKeepsItsOwnLastAccountName) {
  LookupSession alice, bob;
  ASSERT_TRUE(alice.connect());
  ASSERT_TRUE(bob.connect());
  AccountRef alice_account, bob_account;
  ASSERT_TRUE(alice.lookup("api-test-alice", alice_account, 3));
  ASSERT_TRUE(bob.lookup("api-test-bob", bob_account, 4));
  ConversationRef alice_call(5, &alice.skype), bob_call(6, &bob.skype);
  ASSERT_NE(alice_call.fetch(), nullptr);
  ASSERT_NE(bob_call.fetch(), nullptr);
  const unsigned alice_gen = alice.skype.generation(), bob_gen = bob.skype.generation();

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    AccountRef again;
    ASSERT_TRUE(alice.lookup("api-test-alice", again, 3));
    EXPECT_EQ(again, alice_account);
    ASSERT_TRUE(bob.lookup("api-test-bob", again, 4));
    EXPECT_EQ(again, bob_account);
  }
  EXPECT_EQ(alice.skype.generation(), alice_gen);
  EXPECT_EQ(bob.skype.generation(), bob_gen);
  EXPECT_NE(alice_call.fetch(), nullptr);
  EXPECT_NE(bob_call.fetch(), nullptr);
  EXPECT_EQ(alice.skype.rec.count("delete 18/5"), 0u);
  EXPECT_EQ(bob.skype.rec.count("delete 18/6"), 0u);

  // Another name on one session purges that session only.
  AccountRef carol;
  ASSERT_TRUE(alice.lookup("api-test-carol", carol, 7));
  EXPECT_EQ(alice.skype.generation(), alice_gen + 1);
  EXPECT_EQ(alice_call.fetch(), nullptr);
  EXPECT_EQ(alice.skype.rec.count("delete 18/5"), 1u);
  EXPECT_EQ(bob.skype.generation(), bob_gen);
  EXPECT_NE(bob_call.fetch(), nullptr);
  EXPECT_EQ(bob.skype.rec.count("delete 18/6"), 0u);
}

TEST(SkypeApi, EnumerationText) {
  struct {
    SEString text;
    const char* expected;
  } cases[] = {
      {Sid::tostring(Conversation::IM_LIVE), "Conversation::LOCAL_LIVESTATUS.IM_LIVE"},
      {Sid::tostring(static_cast<Conversation::LOCAL_LIVESTATUS>(4)), "Conversation::LOCAL_LIVESTATUS<Unknown:4>"},
      {Sid::tostring(Account::LOGGED_IN), "Account::STATUS.LOGGED_IN"},
      {Sid::tostring(Participant::DTMF_POUND), "Participant::DTMF.DTMF_POUND"},
      {Sid::tostring(LIVE_BUSY), "LEAVE_REASON.LIVE_BUSY"},
      {Sid::tostring(LIVE_EMERGENCY_CALL_DENIED), "LEAVE_REASON.LIVE_EMERGENCY_CALL_DENIED"},
      {Sid::tostring(Contact::SKYPE_ME_FROM_MOBILE), "Contact::AVAILABILITY.SKYPE_ME_FROM_MOBILE"},
      {Sid::tostring(Account::INCORRECT_PASSWORD), "Account::LOGOUTREASON.INCORRECT_PASSWORD"},
  };
  for (const auto& c : cases) EXPECT_STREQ(c.text.data(), c.expected);
  EXPECT_EQ(static_cast<unsigned>(LIVE_EMERGENCY_CALL_DENIED), 128u);
}

TEST(SkypeApi, EveryPropertyHasItsDescriptor) {
  struct {
    unsigned modid;
    const SEPMap::Entry* map;
  } classes[] = {{18, CONVERSATION_PROPERTY_MAP}, {19, PARTICIPANT_PROPERTY_MAP}, {9, MESSAGE_PROPERTY_MAP},
                 {5, ACCOUNT_PROPERTY_MAP},       {2, CONTACT_PROPERTY_MAP},     {6, TRANSFER_PROPERTY_MAP},
                 {10, CONTACTGROUP_PROPERTY_MAP}, {1, CONTACTSEARCH_PROPERTY_MAP}, {11, VIDEO_PROPERTY_MAP},
                 {7, VOICEMAIL_PROPERTY_MAP},     {12, SMS_PROPERTY_MAP}};
  Skype skype(1);
  size_t total = 0;
  for (const auto& c : classes) {
    for (const SEPMap::Entry* e = c.map; e->name; ++e, ++total) {
      const Sid::Field* f = skype.get_property_desc(c.modid, unsigned(e->code));
      ASSERT_NE(f, nullptr) << e->name;
      EXPECT_EQ(f->get_tag(), unsigned(e->code));
    }
    EXPECT_EQ(skype.get_property_desc(c.modid, 0), nullptr);
  }
  // Account: the 47 properties named (the gateway reads five of them)
  EXPECT_EQ(total, 32u + 21 + 19 + 47 + 44 + 15 + 5 + 1 + 7 + 12 + 13);
  EXPECT_EQ(skype.get_property_desc(0, 972), nullptr);
  EXPECT_EQ(skype.get_property_desc(18, 972)->kind(), 'S');
  EXPECT_EQ(skype.get_property_desc(18, 927)->kind(), 'e');
  EXPECT_EQ(skype.get_property_desc(18, 915)->kind(), 'O');
  EXPECT_EQ(skype.get_property_desc(18, 915)->m_field_info, 18u);
  EXPECT_EQ(skype.get_property_desc(5, 75)->kind(), 'u');
}

} // namespace
