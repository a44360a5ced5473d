#include "Velmora/Supervision.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "SkypeApi/AccountSession.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Trace.h"

namespace {

// 00:01:29 as HHMMSS: the nightly reset window runs from midnight to here.
constexpr long RESET_WINDOW_END = 129;
// A logged-out account is killed and restarted after this many failed checks.
constexpr int LOGOUT_KILL_AFTER = 6;
constexpr int FIRST_THRESHOLD = 5;
constexpr int THRESHOLD_LOGGED_OUT = 2;
constexpr int THRESHOLD_ALL_IN = 20;
constexpr time_t BALANCE_DELAY = 2;
constexpr time_t STALE_AFTER = 2;

long time_text_now() {
  struct tm now = gw_localtime();
  return static_cast<long>(now.tm_hour) * 10000 + now.tm_min * 100 + now.tm_sec;
}

}  // namespace

SupervisionLoop::SupervisionLoop(SupervisionHooks& hooks, std::map<int, S_Skype>& accounts,
                                 std::map<std::string, S_User>& channels, SkypeMutex& channels_mutex)
    : d_hooks(hooks), d_accounts(accounts), d_channels(channels), d_channels_mutex(channels_mutex) {
  d_threshold = FIRST_THRESHOLD;
}

void SupervisionLoop::pass() {
  bool due = d_counter > d_threshold;
  ++d_counter;
  if (due) {
    account_pass();
    d_counter = 0;
  }
  balance_poll();
  sweep();
}

void SupervisionLoop::account_pass() {
  const long time_text = time_text_now();
  const bool in_window = time_text <= RESET_WINDOW_END;
  int logged_out = 0;

  for (auto& [id, sk] : d_accounts) {
    if (!in_window) {
      d_reset_done = false;
    } else if (!d_reset_done) {
      sk.calllogs.clear();
      sk.totalouttime = 0;
      GW_TRACE("nightly reset of %s\n\n", sk.name.c_str());
    }

    // A restart on its way is left to finish; the account is looked at
    // again at the next account pass.
    if (d_hooks.restarting(sk)) continue;

    std::shared_ptr<AccountSession> session = d_hooks.session(sk);
    if (!session || !session->is_connected()) {
      sk.status = false;
      sk.voicehostrun = false;
      d_hooks.restart(sk);
      continue;
    }
    if (sk.status) continue;

    if (session->loggedIn()) {
      sk.status = true;
      sk.loginedtime = gw_time();
      GW_TRACE("LOGGED in %s \n\n", sk.name.c_str());
      d_hooks.save(sk, 3);
      continue;
    }
    GW_TRACE("LOGGED out %s \n\n", sk.name.c_str());
    ++logged_out;
    session->login_with_account(sk.name, sk.pwd);
    ++sk.logouttime;
    if (sk.logouttime > LOGOUT_KILL_AFTER) {
      sk.logouttime = 0;
      d_hooks.kill_and_restart_runtime(sk);
    }
  }

  if (in_window) d_reset_done = true;
  d_threshold = logged_out != 0 ? THRESHOLD_LOGGED_OUT : THRESHOLD_ALL_IN;
}

void SupervisionLoop::balance_poll() {
  for (auto& [id, sk] : d_accounts) {
    if (!sk.status || sk.loginedtime == 0) continue;
    if (gw_time() - sk.loginedtime <= BALANCE_DELAY) continue;
    sk.loginedtime = 0;
    std::shared_ptr<AccountSession> session = d_hooks.session(sk);
    sk.balance = session ? session->GetBalance() : 0;
    d_hooks.save(sk, 2);
  }
}

bool is_stale_channel(const S_User& user, time_t now) {
  return !user.directdial && user.status == CHAN_COLLECTING && user.calltype == CALL_SKYPE_TO_SIP &&
         user.conversationid != 0 && user.startskypecall != 0 && user.audioplayer.channel == 0 &&
         now - user.startskypecall > STALE_AFTER;
}

void reclaim_channel(S_User& user) {
  clearChannel(user.channel);
  user.tid = -1;
  user.did = -1;
  user.cid = -1;
  user.skypepeer.clear();
  user.peer.clear();
  user.call_member_id.clear();
  user.calltype = CALL_NONE;
  user.conversationid = 0;
  user.time = 0;
  user.warningtimes = 0;
  user.sipreqfailtimes = 0;
  user.countmissdata = 0;
  user.ringreplace = 0;
  user.startskypecall = 0;
  user.enddtmf = false;
  user.finishdtmf = false;
  user.status = CHAN_IDLE;
}

void SupervisionLoop::sweep() {
  std::lock_guard<SkypeMutex> lock(d_channels_mutex);
  const time_t now = gw_time();
  for (auto& [key, user] : d_channels) {
    if (!is_stale_channel(user, now)) continue;
    GW_TRACE("reclaiming channel %d of a Skype call without audio\n\n", user.channel);
    reclaim_channel(user);
  }
}

void SupervisionLoop::run(std::chrono::milliseconds pace) {
  for (;;) {
    std::this_thread::sleep_for(pace);
    pass();
  }
}

std::chrono::milliseconds supervision_pace_from_environment() {
  const char* text = getenv("VELMORA_SUPERVISION_PASS_MS");
  if (text && *text) {
    char* end = nullptr;
    long ms = strtol(text, &end, 10);
    if (end && *end == '\0' && ms > 0 && ms <= 60000) return std::chrono::milliseconds(ms);
  }
  return std::chrono::milliseconds(2000);
}
