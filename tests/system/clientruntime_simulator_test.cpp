// The client library against the runtime simulator, the session's side: a
// Skype root connects with the application token over TLS (the client is the
// TLS server), starts the API, looks its account up and logs in; the
// transport logs hold the bytes exchanged; two sessions run side by side; a
// dying runtime releases every blocked call, and a dropped runtime serves the
// next session. The simulator is driven and watched through its control
// socket and event log. Runs in its own network namespace.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <regex>
#include <string>
#include <vector>

#include "tests/system/clientruntime/SessionFixture.h"

using namespace simtest;

namespace {

TEST(ClientRuntimeSimulator, LoginReportsItsProgressAndTheAccountProperties) {
  Sim sim("alice", "password = secret\nbalance = 1234\ncurrency = USD\nlogin_delay_ms = 150\n");
  ASSERT_TRUE(sim.process.ready());
  Client c;
  ASSERT_TRUE(c.connect(sim.process));
  EXPECT_EQ(c.skype.connects(), 1);
  EXPECT_EQ(c.skype.disconnects(), 0);

  // A wrong password: logged out, with the reason.
  ASSERT_TRUE(c.login("alice", "guess", Account::LOGGED_OUT)) << sim.process.log();
  EXPECT_EQ(c.account_values(Account::P_STATUS), (std::vector<std::string>{num(Account::LOGGING_IN),
                                                                           num(Account::LOGGED_OUT)}));
  EXPECT_EQ(c.account_values(Account::P_LOGOUTREASON), (std::vector<std::string>{num(Account::INCORRECT_PASSWORD)}));
  Account::LOGOUTREASON reason{};
  ASSERT_TRUE(c.account->GetPropLogoutreason(reason));
  EXPECT_EQ(reason, Account::INCORRECT_PASSWORD);
  EXPECT_NE(sim.process.control("status").find("login=LOGGED_OUT"), std::string::npos);

  // The right one: LOGGING_IN, then LOGGED_IN.
  ASSERT_TRUE(c.login("alice", "secret")) << sim.process.log();
  EXPECT_EQ(c.account_values(Account::P_STATUS),
            (std::vector<std::string>{num(Account::LOGGING_IN), num(Account::LOGGED_OUT), num(Account::LOGGING_IN),
                                      num(Account::LOGGED_IN)}));
  Account::STATUS status{};
  ASSERT_TRUE(c.account->GetPropStatus(status));
  EXPECT_EQ(status, Account::LOGGED_IN);
  unsigned balance = 0;
  ASSERT_TRUE(c.account->GetPropSkypeoutBalance(balance));
  EXPECT_EQ(balance, 1234u);
  SEString currency;
  ASSERT_TRUE(c.account->GetPropSkypeoutBalanceCurrency(currency));
  EXPECT_STREQ(currency.data(), "USD");
  SEString name;
  ASSERT_TRUE(c.account->GetPropSkypename(name));
  EXPECT_STREQ(name.data(), "alice");

  // A new balance arrives as a change and is then read from the cache: the
  // balance was asked for once only.
  ASSERT_EQ(sim.process.control("balance 555 USD").rfind("OK", 0), 0u);
  ASSERT_TRUE(c.skype.wait_value(ACCOUNT, c.account.get_oid(), Account::P_SKYPEOUT_BALANCE, "555"));
  ASSERT_TRUE(c.account->GetPropSkypeoutBalance(balance));
  EXPECT_EQ(balance, 555u);
  std::string log = sim.process.log();
  const size_t asked = count_lines(log, R"(RECV +get .*\.SKYPEOUT_BALANCE( |$))");
  EXPECT_EQ(asked, 1u) << log;

  // Another account name: this session's objects are purged first, then the
  // runtime refuses the name.
  AccountRef other;
  EXPECT_FALSE(c.skype.GetAccount("mallory", other));
  EXPECT_EQ(c.account.fetch(), nullptr);
  EXPECT_TRUE(sim.process.log_has("SEND   error rid="));   // logged once it has been sent
}

TEST(ClientRuntimeSimulator, TheTransportLogsHoldTheBytesExchanged) {
  Sim sim("alice", "balance = 42\n");
  ASSERT_TRUE(sim.process.ready());
  const std::string base = sim.dir.path() + "/streamlog.txt";
  {
    Client c;
    ASSERT_TRUE(c.connect(sim.process, base));
    ASSERT_TRUE(c.login("alice", "pw"));
    unsigned balance = 0;
    ASSERT_TRUE(c.account->GetPropSkypeoutBalance(balance));
    EXPECT_EQ(balance, 42u);
    // Everything the runtime sent has been read once its last reply is logged.
    ASSERT_TRUE(sim.process.log_has("SEND   getreply 5.#" + num(c.account.get_oid()) + ".SKYPEOUT_BALANCE(75)=42"));
    c.skype.stop();
  }
  const std::string out = file_bytes(base + "_log_out.1"), in = file_bytes(base + "_log_in.1");
  const std::string log = sim.process.log();

  // The handshake inside TLS, then Start (request 0, no parameters), and its answer.
  ASSERT_GE(out.size(), 15u);
  EXPECT_EQ(out.substr(0, 8), "00000000");
  EXPECT_EQ(out.substr(8, 7), std::string("ZR\x00\x91\x01\x00z", 7));
  EXPECT_EQ(in.substr(0, 2), "OK");
  EXPECT_EQ(in.substr(2, 3), std::string("Zr\x00", 3));
  EXPECT_NE(out.find(std::string("ZR\x00\x73\x01S\x01\x05" "alicez", 13)), std::string::npos) << "GetAccount";
  EXPECT_NE(log.find("RECV   handshake \"00000000\" token of 0 bytes"), std::string::npos) << log;

  // Every call the runtime logged is in the output log with its ids and
  // request id, and nothing else was called; so for property requests.
  std::regex call_re(R"(RECV +call rid=(\d+) \S+\((\d+),(\d+)\))");
  size_t calls = 0;
  for (std::sregex_iterator it(log.begin(), log.end(), call_re), end; it != end; ++it, ++calls) {
    std::string prefix = "ZR" + varint(static_cast<unsigned>(std::stoul((*it)[2]))) +
                         varint(static_cast<unsigned>(std::stoul((*it)[3]))) +
                         varint(static_cast<unsigned>(std::stoul((*it)[1])));
    EXPECT_NE(out.find(prefix), std::string::npos) << it->str();
  }
  EXPECT_EQ(calls, 3u) << log;   // Start, GetAccount, LoginWithPassword
  EXPECT_EQ(count_of(out, "ZR"), calls);
  EXPECT_EQ(count_of(out, "ZG"), count_lines(log, "RECV +get "));
  // What the runtime sent: one reply per call, one property reply per
  // request, and its property changes.
  EXPECT_EQ(count_of(in, "Zr"), count_lines(log, "SEND +(reply|error) rid="));
  EXPECT_EQ(count_of(in, "Zg"), count_lines(log, "SEND +getreply "));
  EXPECT_EQ(count_of(in, "ZC"), count_lines(log, "SEND +change "));
  EXPECT_EQ(count_of(in, "ZE"), count_lines(log, "SEND +event "));
  EXPECT_GE(count_of(in, "ZC"), 2u);   // LOGGING_IN, LOGGED_IN
  EXPECT_EQ(count_lines(log, "^ *[0-9.]+ ERR "), 0u) << log;   // nothing the client sent was bad
}

TEST(ClientRuntimeSimulator, TwoSessionsSideBySideKeepTheirOwnObjects) {
  Sim alice("alice", "ring_delay_ms = 50\nanswer_delay_ms = 200\n");
  Sim bob("bob", "balance = 10\n");
  ASSERT_TRUE(alice.process.ready());
  ASSERT_TRUE(bob.process.ready());
  // One log name for both, as the gateway gives every account.
  const std::string base = alice.dir.path() + "/streamlog.txt";
  Client a, b;
  auto up_a = std::async(std::launch::async, [&] { return a.connect(alice.process, base) && a.login("alice", "pw"); });
  auto up_b = std::async(std::launch::async, [&] { return b.connect(bob.process, base) && b.login("bob", "pw"); });
  ASSERT_TRUE(up_a.get()) << alice.process.log();
  ASSERT_TRUE(up_b.get()) << bob.process.log();

  Call call;
  ASSERT_TRUE(open_call(a, "echo123", call));
  ASSERT_TRUE(call.remote->Ring("", false, 0, 0, false, ""));
  const unsigned conv = call.conversation.get_oid(), remote = call.remote.get_oid();
  ASSERT_TRUE(a.skype.wait_value(CONVERSATION, conv, Conversation::P_LOCAL_LIVESTATUS, num(Conversation::IM_LIVE)));
  Conversation* proxy = call.conversation.fetch();
  const unsigned generation = a.skype.generation();

  // Both accounts looked up again, in turn, as a re-login does.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    AccountRef again;
    ASSERT_TRUE(b.skype.GetAccount("bob", again));
    EXPECT_TRUE(again == b.account);
    ASSERT_TRUE(a.skype.GetAccount("alice", again));
    EXPECT_TRUE(again == a.account);
  }
  EXPECT_EQ(a.skype.generation(), generation);
  EXPECT_EQ(call.conversation.fetch(), proxy);

  // The live call's proxies still get the runtime's changes.
  ASSERT_EQ(alice.process.control("hangup").rfind("OK", 0), 0u);
  ASSERT_TRUE(a.skype.wait_value(PARTICIPANT, remote, Participant::P_VOICE_STATUS, num(Participant::VOICE_STOPPED)));
  ASSERT_TRUE(
      a.skype.wait_value(CONVERSATION, conv, Conversation::P_LOCAL_LIVESTATUS, num(Conversation::RECENTLY_LIVE)));
  // So does the other account.
  ASSERT_EQ(bob.process.control("balance 77").rfind("OK", 0), 0u);
  ASSERT_TRUE(b.skype.wait_value(ACCOUNT, b.account.get_oid(), Account::P_SKYPEOUT_BALANCE, "77"));
  EXPECT_TRUE(a.account_values(Account::P_SKYPEOUT_BALANCE).empty());
  EXPECT_NE(bob.process.control("status").find("login=LOGGED_IN"), std::string::npos);
  EXPECT_NE(alice.process.control("status").find("login=LOGGED_IN"), std::string::npos);

  // The shared output log holds both sessions' bytes: both handshakes, and
  // exactly the calls and property requests the two runtimes received.
  const std::string out = file_bytes(base + "_log_out.1");
  const std::string logs = alice.process.log() + bob.process.log();
  EXPECT_EQ(count_of(out, "00000000"), 2u);
  EXPECT_EQ(count_of(out, "ZR"), count_lines(logs, "RECV +call rid="));
  EXPECT_EQ(count_of(out, "ZG"), count_lines(logs, "RECV +get "));
}

TEST(ClientRuntimeSimulator, WhenTheRuntimeDiesBlockedCallsFailAndDisconnectedComesOnce) {
  Sim sim("alice", "");
  ASSERT_TRUE(sim.process.ready());
  Client c;
  ASSERT_TRUE(c.connect(sim.process));
  ASSERT_TRUE(c.login("alice", "pw"));
  ASSERT_EQ(sim.process.control("stall").rfind("OK", 0), 0u);

  // A call and a property request, from two threads, that get no answer.
  auto call = std::async(std::launch::async, [&] {
    ConversationRefs list;
    return c.skype.GetConversationList(list, Conversation::ALL_CONVERSATIONS);
  });
  auto read = std::async(std::launch::async, [&] {
    SEString fullname;
    return c.account->GetPropFullname(fullname);
  });
  ASSERT_TRUE(sim.process.log_has("property request not answered"));
  ASSERT_TRUE(sim.process.log_has("STALL  call rid="));
  EXPECT_EQ(call.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  EXPECT_EQ(c.skype.disconnects(), 0);

  sim.process.kill_now();
  ASSERT_EQ(call.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_FALSE(call.get());
  EXPECT_FALSE(read.get());
  ASSERT_TRUE(c.skype.wait([&] { return c.skype.disconnects() > 0; }));

  // Later calls fail at once; Disconnected() stays at one, also after stop().
  ConversationRef conversation;
  EXPECT_FALSE(c.skype.GetConversationByIdentity("echo123", conversation));
  bool started = false;
  EXPECT_FALSE(c.skype.Start(started));
  c.skype.stop();
  EXPECT_EQ(c.skype.disconnects(), 1);
}

TEST(ClientRuntimeSimulator, AfterTheRuntimeDropsTheSessionANewOneLogsInAgain) {
  Sim sim("alice", "");
  ASSERT_TRUE(sim.process.ready());
  {
    Client first;
    ASSERT_TRUE(first.connect(sim.process));
    ASSERT_TRUE(first.login("alice", "pw"));
    ASSERT_EQ(sim.process.control("drop").rfind("OK", 0), 0u);
    ASSERT_TRUE(first.skype.wait([&] { return first.skype.disconnects() > 0; }));
    EXPECT_FALSE(first.account->LoginWithPassword("pw", false, true));
    first.skype.stop();
    EXPECT_EQ(first.skype.disconnects(), 1);
  }
  // The runtime logged the account out with the connection and serves the next.
  ASSERT_TRUE(sim.process.log_has("client connection ended"));
  EXPECT_NE(sim.process.control("status").find("login=LOGGED_OUT"), std::string::npos);
  Client second;
  ASSERT_TRUE(second.connect(sim.process));
  ASSERT_TRUE(second.login("alice", "pw")) << sim.process.log();
  EXPECT_EQ(second.account_values(Account::P_STATUS),
            (std::vector<std::string>{num(Account::LOGGING_IN), num(Account::LOGGED_IN)}));
}

} // namespace
