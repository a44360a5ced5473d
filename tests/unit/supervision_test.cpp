// The account supervision loop against scripted sessions: the pass schedule,
// logins and the kill after repeated logouts, the balance poll, the nightly
// reset, the restart of a disconnected account and the stale-channel sweep.

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SkypeApi/AccountSession.h"
#include "Velmora/Supervision.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"

namespace {

time_t local_time(int year, int mon, int day, int h, int m, int s) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = mon - 1;
  t.tm_mday = day;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return mktime(&t);
}

class ScriptedSession : public AccountSession {
public:
  bool is_connected() const override { return connected; }
  bool loggedIn() override { return logged_in; }
  unsigned GetBalance() override {
    ++balance_reads;
    return balance;
  }
  void login_with_account(const std::string& name, const std::string& password) override {
    logins.push_back(name + "/" + password);
  }
  void stop() override { connected = false; }

  bool connected = true;
  bool logged_in = false;
  unsigned balance = 0;
  int balance_reads = 0;
  std::vector<std::string> logins;
};

class RecordingHooks : public SupervisionHooks {
public:
  std::shared_ptr<AccountSession> session(S_Skype& sk) override { return sessions[sk.id]; }
  bool restarting(S_Skype& sk) override {
    ++checks[sk.id];
    return busy[sk.id];
  }
  void restart(S_Skype& sk) override { restarts.push_back(sk.id); }
  void kill_and_restart_runtime(S_Skype& sk) override { kills.push_back(sk.id); }
  void save(S_Skype& sk, int type) override { saves.push_back({sk.id, type}); }

  std::map<int, std::shared_ptr<ScriptedSession>> sessions;
  std::map<int, bool> busy;
  std::map<int, int> checks;  // account passes that looked at the account
  std::vector<int> restarts;
  std::vector<int> kills;
  std::vector<std::pair<int, int>> saves;
};

class SupervisionTest : public ::testing::Test {
protected:
  void SetUp() override {
    gw_clock_set(local_time(2026, 3, 4, 10, 0, 0));
    workchannels = 0;
  }
  void TearDown() override {
    gw_clock_reset();
    workchannels = 0;
  }

  S_Skype& add_account(int id, const std::string& name, bool logged_in) {
    S_Skype& sk = accounts[id];
    sk.id = id;
    sk.name = name;
    sk.pwd = "pw" + name;
    auto session = std::make_shared<ScriptedSession>();
    session->logged_in = logged_in;
    hooks.sessions[id] = session;
    return sk;
  }

  // Runs passes up to and including the first account pass.
  void until_first_account_pass() {
    for (int i = 0; i < 7; ++i) loop.pass();
  }

  std::map<int, S_Skype> accounts;
  std::map<std::string, S_User> channels;
  SkypeMutex channels_mutex;
  RecordingHooks hooks;
  SupervisionLoop loop{hooks, accounts, channels, channels_mutex};
};

// Which of the first passes (counted from 1) were account passes.
struct ScheduleCase {
  const char* what;
  bool logged_in;
  std::vector<int> account_passes;
};

class ScheduleTest : public SupervisionTest, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(ScheduleTest, AccountPassesComeAtTheThresholds) {
  add_account(0, "alpha", GetParam().logged_in);
  std::vector<int> seen;
  for (int pass = 1; pass <= 60; ++pass) {
    int before = hooks.checks[0];
    loop.pass();
    if (hooks.checks[0] != before) seen.push_back(pass);
  }
  EXPECT_EQ(seen, GetParam().account_passes);
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, ScheduleTest,
    ::testing::Values(ScheduleCase{"all logged in", true, {7, 29, 51}},
                      ScheduleCase{"logged out", false, {7, 11, 15, 19, 23, 27, 31, 35, 39, 43, 47, 51, 55, 59}}),
    [](const ::testing::TestParamInfo<ScheduleCase>& info) {
      return std::string(info.param.logged_in ? "LoggedIn" : "LoggedOut");
    });

TEST_F(SupervisionTest, LoggedInAccountIsMarkedSavedAndThenLeftAlone) {
  S_Skype& sk = add_account(0, "alpha", true);
  until_first_account_pass();
  EXPECT_TRUE(sk.status);
  EXPECT_EQ(sk.loginedtime, gw_time());
  ASSERT_EQ(hooks.saves.size(), 1u);
  EXPECT_EQ(hooks.saves[0], std::make_pair(0, 3));
  EXPECT_EQ(loop.threshold(), 20);

  // Later account passes do not touch a marked account.
  hooks.sessions[0]->logged_in = false;
  gw_clock_set(gw_time() + 1);
  for (int i = 0; i < 22; ++i) loop.pass();
  EXPECT_TRUE(sk.status);
  EXPECT_TRUE(hooks.sessions[0]->logins.empty());
}

TEST_F(SupervisionTest, BalanceIsReadOnceBetweenTwoAndFourSecondsAfterLogin) {
  S_Skype& sk = add_account(0, "alpha", true);
  hooks.sessions[0]->balance = 1234;
  until_first_account_pass();  // logged in at 10:00:00
  const time_t login = sk.loginedtime;
  hooks.saves.clear();

  gw_clock_set(login + 2);
  loop.pass();
  EXPECT_EQ(hooks.sessions[0]->balance_reads, 0);

  gw_clock_set(login + 3);
  loop.pass();
  EXPECT_EQ(hooks.sessions[0]->balance_reads, 1);
  EXPECT_EQ(sk.balance, 1234u);
  EXPECT_EQ(sk.loginedtime, 0);
  ASSERT_EQ(hooks.saves.size(), 1u);
  EXPECT_EQ(hooks.saves[0], std::make_pair(0, 2));

  gw_clock_set(login + 5);
  loop.pass();
  EXPECT_EQ(hooks.sessions[0]->balance_reads, 1);
}

TEST_F(SupervisionTest, LoggedOutAccountLogsInAgainEveryPassAndIsKilledAtTheSeventh) {
  S_Skype& sk = add_account(0, "alpha", false);
  add_account(1, "beta", true);
  until_first_account_pass();
  EXPECT_EQ(loop.threshold(), 2);
  for (int account_pass = 2; account_pass <= 7; ++account_pass) {
    for (int i = 0; i < 4; ++i) loop.pass();
    EXPECT_EQ(hooks.sessions[0]->logins.size(), static_cast<size_t>(account_pass));
    if (account_pass < 7) {
      EXPECT_EQ(sk.logouttime, account_pass);
      EXPECT_TRUE(hooks.kills.empty());
    }
  }
  EXPECT_EQ(hooks.kills, std::vector<int>{0});
  EXPECT_EQ(sk.logouttime, 0);
  EXPECT_EQ(hooks.sessions[0]->logins.front(), "alpha/pwalpha");
  EXPECT_FALSE(sk.status);
  // The other account was marked once and never logged in again.
  EXPECT_TRUE(accounts[1].status);
  EXPECT_TRUE(hooks.sessions[1]->logins.empty());

  // The count runs on across a login: it is not cleared by success.
  hooks.sessions[0]->logged_in = true;
  for (int i = 0; i < 4; ++i) loop.pass();
  EXPECT_TRUE(sk.status);
  EXPECT_EQ(loop.threshold(), 20);
}

TEST_F(SupervisionTest, DisconnectedAccountIsRestartedAndLeftAloneWhileTheRestartRuns) {
  S_Skype& sk = add_account(0, "alpha", true);
  S_Skype& other = add_account(1, "beta", false);
  sk.status = true;
  sk.voicehostrun = true;
  hooks.sessions[0]->connected = false;
  until_first_account_pass();
  EXPECT_EQ(hooks.restarts, std::vector<int>{0});
  EXPECT_FALSE(sk.status);
  EXPECT_FALSE(static_cast<bool>(sk.voicehostrun));
  // The other account was looked at in the same pass.
  EXPECT_EQ(hooks.sessions[1]->logins.size(), 1u);

  // While the restart is under way the account is skipped; the others are not.
  hooks.busy[0] = true;
  for (int i = 0; i < 4; ++i) loop.pass();
  EXPECT_EQ(hooks.restarts, std::vector<int>{0});
  EXPECT_EQ(hooks.sessions[1]->logins.size(), 2u);
  EXPECT_EQ(other.logouttime, 2);

  // No session object at all counts as disconnected.
  hooks.busy[0] = false;
  hooks.sessions[0] = nullptr;
  for (int i = 0; i < 4; ++i) loop.pass();
  EXPECT_EQ(hooks.restarts, (std::vector<int>{0, 0}));
}

// One account pass at each clock reading, in order; whether it reset.
struct ResetStep {
  int h, m, s;
  bool resets;
};

TEST_F(SupervisionTest, NightlyResetClearsEachAccountOncePerNight) {
  const std::vector<ResetStep> steps = {
      {23, 59, 50, false}, {0, 0, 40, true}, {0, 1, 24, false}, {0, 1, 29, false},
      {0, 1, 30, false},   {0, 1, 10, true}, {12, 0, 0, false}, {0, 0, 0, true},
  };
  add_account(0, "alpha", true);
  add_account(1, "beta", true);
  for (const ResetStep& step : steps) {
    for (auto& [id, sk] : accounts) {
      sk.calllogs.insert("0049" + std::to_string(id), 0);
      sk.totalouttime = 600;
    }
    gw_clock_set(local_time(2026, 3, 5, step.h, step.m, step.s));
    loop.account_pass();
    for (auto& [id, sk] : accounts) {
      SCOPED_TRACE(std::to_string(step.h) + ":" + std::to_string(step.m) + ":" + std::to_string(step.s));
      EXPECT_EQ(sk.calllogs.size(), step.resets ? 0u : 1u);
      EXPECT_EQ(sk.totalouttime, step.resets ? 0 : 600);
    }
  }
}

// A channel record and whether the sweep reclaims it 3 s after startskypecall.
struct SweepCase {
  const char* name;
  bool directdial;
  int status;
  int calltype;
  uint32_t conversationid;
  int voice_channel;
  int age;
  bool reclaimed;
};

class SweepTest : public SupervisionTest, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(SweepTest, ReclaimsOnlySkypeCallsOnVoiceChannelZeroWithoutAudio) {
  const SweepCase& c = GetParam();
  const int channel = GetChannel(8);
  ASSERT_EQ(channel, 1);
  S_User& user = channels["ch1"];
  user.channel = channel;
  user.directdial = c.directdial;
  user.status = c.status;
  user.calltype = c.calltype;
  user.conversationid = c.conversationid;
  user.audioplayer.channel = c.voice_channel;
  user.startskypecall = gw_time() - c.age;
  user.tid = 4;
  user.did = 5;
  user.cid = 6;
  user.skypepeer = "caller";
  user.peer = "200";
  user.call_member_id = "77";
  user.time = 9;
  user.warningtimes = 2;
  user.countmissdata = 3;
  user.enddtmf = true;
  user.finishdtmf = true;

  loop.sweep();

  if (c.reclaimed) {
    EXPECT_EQ(user.status, CHAN_IDLE);
    EXPECT_EQ(workchannels, 0u);
    EXPECT_EQ(user.tid, -1);
    EXPECT_EQ(user.did, -1);
    EXPECT_EQ(user.cid, -1);
    EXPECT_TRUE(user.skypepeer.empty());
    EXPECT_TRUE(user.peer.empty());
    EXPECT_TRUE(user.call_member_id.empty());
    EXPECT_EQ(user.calltype, 0);
    EXPECT_EQ(user.conversationid, 0u);
    EXPECT_EQ(user.startskypecall, 0);
    EXPECT_EQ(user.time, 0);
    EXPECT_EQ(user.warningtimes, 0);
    EXPECT_EQ(user.countmissdata, 0);
    EXPECT_FALSE(user.enddtmf);
    EXPECT_FALSE(user.finishdtmf);
  } else {
    EXPECT_EQ(user.status, c.status);
    EXPECT_EQ(workchannels, 1u);
    EXPECT_EQ(user.skypepeer, "caller");
    EXPECT_EQ(user.tid, 4);
  }
  EXPECT_TRUE(v_state.empty());
  EXPECT_TRUE(v_cdr.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Channels, SweepTest,
    ::testing::Values(SweepCase{"VoiceChannelZero", false, 3, 1, 42, 0, 3, true},
                      SweepCase{"VoiceChannelOne", false, 3, 1, 42, 1, 3, false},
                      SweepCase{"NoVoiceChannelYet", false, 3, 1, 42, -1, 3, false},
                      SweepCase{"DirectDial", true, 3, 1, 42, 0, 3, false},
                      SweepCase{"SipOriginated", false, 3, 2, 42, 0, 3, false},
                      SweepCase{"NotCollecting", false, 8, 1, 42, 0, 3, false},
                      SweepCase{"NoConversation", false, 3, 1, 0, 0, 3, false},
                      SweepCase{"OnlyTwoSeconds", false, 3, 1, 42, 0, 2, false}),
    [](const ::testing::TestParamInfo<SweepCase>& info) { return std::string(info.param.name); });

TEST_F(SupervisionTest, SweepLeavesARecordWithoutStartTimeAlone) {
  S_User& user = channels["ch1"];
  user.status = 3;
  user.calltype = 1;
  user.conversationid = 42;
  user.audioplayer.channel = 0;
  user.startskypecall = 0;
  loop.sweep();
  EXPECT_EQ(user.status, 3);
}

TEST(SupervisionPace, EnvironmentSetsThePaceAndBadValuesKeepTwoSeconds) {
  const std::vector<std::pair<const char*, long>> cases = {
      {nullptr, 2000}, {"", 2000}, {"250", 250}, {"0", 2000}, {"-5", 2000}, {"12x", 2000}, {"999999", 2000}};
  for (const auto& [text, expected] : cases) {
    if (text)
      setenv("VELMORA_SUPERVISION_PASS_MS", text, 1);
    else
      unsetenv("VELMORA_SUPERVISION_PASS_MS");
    EXPECT_EQ(supervision_pace_from_environment().count(), expected) << (text ? text : "(unset)");
  }
  unsetenv("VELMORA_SUPERVISION_PASS_MS");
}

}  // namespace
