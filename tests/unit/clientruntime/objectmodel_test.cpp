// The object model against a scripted runtime: references and proxies, the
// property cache, property changes and event delivery.
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "ClientRuntime/types/DRef.h"
#include "tests/unit/clientruntime/ScriptedRuntime.h"
#include "tests/unit/clientruntime/TestSkype.h"

using testpeer::Bytes;
using testpeer::eventually;
using testpeer::Prop;
using testpeer::RecordingSkype;
using testpeer::Runtime;

namespace {

struct Fixture : ::testing::Test {
  Runtime rt;
  RecordingSkype skype;
  void SetUp() override {
    ASSERT_TRUE(rt.connect(skype));
    skype.set_logging_out(0);
  }
  // A root event that marks a point in the stream: everything sent before it
  // has been handled once it is logged.
  void sync(unsigned n) {
    rt.send(testpeer::event(0, 4, Bytes().c('O').u(1).u(n).c('z')));
    ASSERT_TRUE(eventually([&] { return skype.rec.count("list " + std::to_string(n) + " 0") == 1; }));
  }
  std::string name(const std::string& s) { return Bytes().str(s); }
};

TEST_F(Fixture, ReadingAPropertyTwiceSendsOneRequestAndChangesUpdateTheCache) {
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  SEString v;
  auto f = std::async(std::launch::async, [&] { return c->GetPropDisplayname(v); });
  ASSERT_TRUE(rt.expect(testpeer::get(18, 5, 924)));
  rt.send(testpeer::props('g', {{18, 5, 'S', 924, name("first")}}));
  ASSERT_TRUE(f.get());
  EXPECT_STREQ(v.data(), "first");
  SEString again;
  EXPECT_TRUE(c->GetPropDisplayname(again));   // served from the cache
  EXPECT_STREQ(again.data(), "first");
  rt.send(testpeer::props('C', {{18, 5, 'S', 924, name("second")}}));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("change 18/5/924") == 1; }));
  EXPECT_STREQ(c->GetStrProp(924).data(), "second");
  EXPECT_EQ(rt.peer.read_available(100), "");   // no second request went out
}

TEST_F(Fixture, ChangeOfThreePropertiesCachesAllAndCallsOnChangeOnceForTheLast) {
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  rt.send(testpeer::props('C', {{18, 5, 'S', 924, name("Bob")},
                                {18, 5, 'e', 927, Bytes().u(Conversation::IM_LIVE)},
                                {18, 5, 'T', 921, ""}}));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("change 18/5/921") == 1; }));
  sync(1);
  EXPECT_EQ(skype.rec.count("change 18/5/924") + skype.rec.count("change 18/5/927"), 0u);
  SEString dn;
  Conversation::LOCAL_LIVESTATUS live = Conversation::NONE;
  bool bookmarked = false;
  EXPECT_TRUE(c->GetPropDisplayname(dn));
  EXPECT_TRUE(c->GetPropLocalLivestatus(live));
  EXPECT_TRUE(c->GetPropIsBookmarked(bookmarked));
  EXPECT_STREQ(dn.data(), "Bob");
  EXPECT_EQ(live, Conversation::IM_LIVE);
  EXPECT_TRUE(bookmarked);
  EXPECT_EQ(rt.peer.read_available(100), "");
}

TEST_F(Fixture, ChangeForAnObjectNobodyHoldsIsNotCached) {
  rt.send(testpeer::props('C', {{18, 8, 'S', 924, name("ghost")}}));
  sync(1);
  EXPECT_EQ(skype.object_count(), 0u);
  ConversationRef c(8, &skype);
  SEString v;
  auto f = std::async(std::launch::async, [&] { return c->GetPropDisplayname(v); });
  ASSERT_TRUE(rt.expect(testpeer::get(18, 8, 924)));   // not cached: requested
  rt.send(testpeer::props('g', {{18, 8, 'S', 924, name("real")}}));
  ASSERT_TRUE(f.get());
  EXPECT_STREQ(v.data(), "real");
}

TEST_F(Fixture, EventsReachOnlyHeldObjects) {
  auto participants_changed = testpeer::event(18, 1, Bytes().c('O').u(0).u(7).c('z'));
  rt.send(participants_changed);
  sync(1);
  EXPECT_EQ(skype.rec.count("participants 18/7"), 0u);
  EXPECT_EQ(skype.object_count(), 0u);
  ConversationRef c(7, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  rt.send(participants_changed);
  ASSERT_TRUE(eventually([&] { return skype.rec.count("participants 18/7") == 1; }));
}

TEST_F(Fixture, RootOnMessageReachesTheConversationOnlyWhenHeld) {
  auto message = [](unsigned msg, unsigned convo) {
    return testpeer::event(0, 5, Bytes().c('O').u(1).u(msg).c('O').u(4).u(convo).c('z'));
  };
  rt.send(message(40, 9));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("root message 40 9") == 1; }));
  sync(1);
  EXPECT_EQ(skype.rec.count("message 18/9 40"), 0u);
  ConversationRef c(9, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  rt.send(message(41, 9));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("message 18/9 41") == 1; }));
  EXPECT_EQ(skype.rec.count("root message 41 9"), 1u);
}

TEST_F(Fixture, PurgeMakesReferencesStale) {
  ConversationRef before(5, &skype);
  ASSERT_NE(before.fetch(), nullptr);
  EXPECT_EQ(skype.object_count(), 1u);
  skype.cleanup(1);
  EXPECT_EQ(skype.object_count(), 0u);
  EXPECT_EQ(before.fetch(), nullptr);
  ConversationRef after(5, &skype);
  EXPECT_NE(before, after);
  EXPECT_NE(after.fetch(), nullptr);
  ConversationRef copy = after;
  EXPECT_EQ(copy, after);
}

TEST_F(Fixture, ReferenceToAnIdOfAnotherClassIsNull) {
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  ParticipantRef p(5, &skype);
  EXPECT_FALSE(p);
  EXPECT_EQ(p.fetch(), nullptr);
}

TEST_F(Fixture, DerivedReferencesHandOutTheApplicationsSubclass) {
  ConversationRef c(5, &skype);
  DRef<testpeer::RecordedConversation, Conversation> d(c);
  ASSERT_NE(d.fetch(), nullptr);
  d->OnParticipantListChange();
  EXPECT_EQ(skype.rec.count("participants 18/5"), 1u);
  ConversationRefs list;
  list.append(c);
  list.append(ConversationRef(6, &skype));
  DRefs<testpeer::RecordedConversation, Conversation> dl(list);
  EXPECT_EQ(dl[0].fetch(), d.fetch());
  EXPECT_NE(dl[1].fetch(), nullptr);
  // a proxy that is not of the subclass gives null, not a wrong pointer
  DRef<testpeer::RecordedConversation, Conversation> none;
  EXPECT_EQ(none.fetch(), nullptr);
  Skype plain(1);   // makes plain Conversation proxies
  DRef<testpeer::RecordedConversation, Conversation> wrong(ConversationRef(31, &plain));
  EXPECT_EQ(wrong.fetch(), nullptr);
  EXPECT_NE(ConversationRef(31, &plain).fetch(), nullptr);
}

TEST_F(Fixture, LastReleaseFinalizesThenDeletes) {
  {
    ConversationRef a(5, &skype);
    ASSERT_NE(a.fetch(), nullptr);
    ConversationRef b = a;
    ConversationRef c;
    c = b;
    EXPECT_EQ(skype.object_count(), 1u);
  }
  EXPECT_EQ(skype.object_count(), 0u);
  auto log = skype.rec.take();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "finalize 18/5");
  EXPECT_EQ(log[1], "delete 18/5");
}

TEST_F(Fixture, PropertyWithoutValueKeepsOldValueAndIsRequestedAgain) {
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  rt.send(testpeer::props('C', {{18, 5, 'S', 924, name("kept")}}));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("change 18/5/924") == 1; }));
  rt.send(testpeer::props('C', {{18, 5, 'N', 924, ""}}));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("change 18/5/924") == 2; }));
  EXPECT_FALSE(skype.is_prop_cached(18, 5, 924));
  SEString v("untouched");
  auto f = std::async(std::launch::async, [&] { return c->GetPropDisplayname(v); });
  ASSERT_TRUE(rt.expect(testpeer::get(18, 5, 924)));
  rt.send(testpeer::props('g', {{18, 5, 'N', 924, ""}}));
  EXPECT_FALSE(f.get());
  EXPECT_STREQ(v.data(), "untouched");
  auto g = std::async(std::launch::async, [&] { return c->GetStrProp(924); });
  ASSERT_TRUE(rt.expect(testpeer::get(18, 5, 924)));
  rt.send(testpeer::props('g', {{18, 5, 'N', 924, ""}}));
  EXPECT_STREQ(g.get().data(), "kept");
}

TEST_F(Fixture, MismatchedKindAbandonsThePropertyChange) {
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  // DISPLAYNAME is a string; a uint there abandons the message, the next one is read.
  rt.send(testpeer::props('C', {{18, 5, 'u', 924, Bytes().u(3)}}));
  sync(1);
  EXPECT_EQ(skype.rec.count("change 18/5/924"), 0u);
  EXPECT_FALSE(skype.is_prop_cached(18, 5, 924));
}

TEST_F(Fixture, GenericTextForms) {
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  rt.send(testpeer::props('C', {{18, 5, 'S', 924, name("Bob")},
                                {18, 5, 'e', 927, Bytes().u(Conversation::RINGING_FOR_ME)},
                                {18, 5, 'O', 915, Bytes().u(12)},
                                {18, 5, 'B', 914, Bytes().str("\x01\x02")},
                                {18, 5, 'F', 921, ""}}));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("change 18/5/921") == 1; }));
  EXPECT_STREQ(c->GetProp(924).data(), "Bob");
  EXPECT_STREQ(c->GetProp(927).data(), "2");
  EXPECT_STREQ(c->GetProp(915).data(), "12");
  EXPECT_STREQ(c->GetProp(914).data(), "<binary>");
  EXPECT_STREQ(c->GetProp(921).data(), "0");
  EXPECT_STREQ(c->GetProp(1).data(), "<missing>");
  SEStringList d = c->getPropDebug(927, 2u);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_STREQ(d[0].data(), "CONVERSATION");
  EXPECT_STREQ(d[1].data(), "LOCAL_LIVESTATUS");
  EXPECT_STREQ(d[2].data(), "RINGING_FOR_ME");
  ConversationRef spawned = c->GetObjProp(915);
  EXPECT_EQ(spawned.get_oid(), 12u);
}

TEST_F(Fixture, FetchingPropertiesOfSeveralObjectsIsOneRequest) {
  ConversationRefs list;
  list.append(ConversationRef(1, &skype));
  list.append(ConversationRef(2, &skype));
  SEIntList props;
  props.append(924);
  auto f = std::async(std::launch::async, [&] { return skype.FetchMultipleObjectsProps(18, list, props); });
  ASSERT_TRUE(rt.expect(Bytes().s("ZG").u(924).c(']').u(18).u(1).c(',').u(2).s("]]z")));
  rt.send(testpeer::props('g', {{18, 1, 'S', 924, name("one")}, {18, 2, 'S', 924, name("two")}}));
  ASSERT_TRUE(f.get());
  EXPECT_TRUE(skype.is_prop_cached(18, 1, 924));
  EXPECT_TRUE(skype.is_prop_cached(18, 2, 924));
  EXPECT_STREQ(list[1]->GetStrProp(924).data(), "two");
  EXPECT_TRUE(skype.FetchMultipleObjectsProps(18, ConversationRefs(), props));
}

TEST(ObjectModel, NothingIsDispatchedBeforeTheAccountLookupAndOnlyAccountsWhileLoggingOut) {
  Runtime rt;
  RecordingSkype skype;
  ASSERT_TRUE(rt.connect(skype));
  auto list_change = [](unsigned n) { return testpeer::event(0, 4, Bytes().c('O').u(1).u(n).c('z')); };
  ConversationRef c(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  rt.send(list_change(1));
  // changes are cached meanwhile; once this one is, the event before it was met
  rt.send(testpeer::props('C', {{18, 5, 'S', 925, Bytes().str("y")}}));
  ASSERT_TRUE(eventually([&] { return skype.is_prop_cached(18, 5, 925); }));
  EXPECT_EQ(skype.rec.count("change 18/5/925"), 0u);
  // Look the account up: events flow from then on.
  AccountRef account;
  auto f = std::async(std::launch::async, [&] { return skype.GetAccount("gateway1", account); });
  ASSERT_TRUE(rt.expect(testpeer::call(0, 115, 0, Bytes().c('S').u(1).str("gateway1").c('z'))));
  rt.send(testpeer::reply(0, Bytes().c('O').u(1).u(3).c('z')));
  ASSERT_TRUE(f.get());
  EXPECT_EQ(account.get_oid(), 3u);
  rt.send(list_change(2));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("list 2 0") == 1; }));
  EXPECT_EQ(skype.rec.count("list 1 0"), 0u);
  ASSERT_NE(account.fetch(), nullptr);
  // A new account name purged the session: the old reference is stale.
  EXPECT_EQ(c.fetch(), nullptr);
  c = ConversationRef(5, &skype);
  ASSERT_NE(c.fetch(), nullptr);
  // Logout: events are skipped, and only the account gets OnChange.
  auto g = std::async(std::launch::async, [&] { return account->Logout(false); });
  ASSERT_TRUE(rt.expect(testpeer::call(5, 8, 1, Bytes().c('O').u(0).u(3).c('z'))));
  rt.send(testpeer::reply(1, "z"));
  ASSERT_TRUE(g.get());
  rt.send(list_change(3));
  rt.send(testpeer::props('C', {{18, 5, 'S', 924, Bytes().str("x")}}));
  rt.send(testpeer::props('C', {{5, 3, 'e', 70, Bytes().u(Account::LOGGED_OUT)}}));
  ASSERT_TRUE(eventually([&] { return skype.rec.count("change 5/3/70") == 1; }));
  EXPECT_EQ(skype.rec.count("list 3 0"), 0u);
  EXPECT_EQ(skype.rec.count("change 18/5/924"), 0u);
  EXPECT_TRUE(skype.is_prop_cached(18, 5, 924));   // still cached
}

} // namespace
