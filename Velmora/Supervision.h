#ifndef VELMORA_SUPERVISION_H
#define VELMORA_SUPERVISION_H

// The account supervision loop: every pass (2 s by default) it polls the
// balance of accounts that have just logged in and reclaims stale channels;
// every few passes it checks each account, restarts a runtime whose session
// has dropped, logs a logged-out account in again and kills a runtime that
// keeps failing, and once a night clears the accounts' daily limits.

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "Velmora/registry/Registry.h"

class AccountSession;

// What the loop does to the world outside the account records.
class SupervisionHooks {
public:
  virtual ~SupervisionHooks() = default;
  // The account's current session object (may be null).
  virtual std::shared_ptr<AccountSession> session(S_Skype& sk) = 0;
  // True while a restart of this account is still under way; the loop
  // leaves such an account alone.
  virtual bool restarting(S_Skype& sk) = 0;
  // The restart path of a disconnected account, after its status and
  // voice host flag have been cleared: voice host disconnected, runtime
  // started, old session stopped, new start sequence. May finish later.
  virtual void restart(S_Skype& sk) = 0;
  // Kills the account's runtime (when one is found) and starts a new one.
  virtual void kill_and_restart_runtime(S_Skype& sk) = 0;
  // Writes the account to the Skype account file (ReadXml::SaveSkype).
  virtual void save(S_Skype& sk, int type) = 0;
};

class SupervisionLoop {
public:
  SupervisionLoop(SupervisionHooks& hooks, std::map<int, S_Skype>& accounts, std::map<std::string, S_User>& channels,
                  SkypeMutex& channels_mutex);

  // One pass without its sleep: account pass when due, balance poll, sweep.
  void pass();
  // The parts of a pass.
  void account_pass();
  void balance_poll();
  void sweep();

  // Sleeps `pace` before each pass, for ever.
  [[noreturn]] void run(std::chrono::milliseconds pace);

  int threshold() const { return d_threshold; }
  int counter() const { return d_counter; }
  bool reset_done() const { return d_reset_done; }

private:
  SupervisionHooks& d_hooks;
  std::map<int, S_Skype>& d_accounts;
  std::map<std::string, S_User>& d_channels;
  SkypeMutex& d_channels_mutex;
  int d_counter = 0;
  int d_threshold = 5;
  bool d_reset_done = false;
};

// The pace of the loop: VELMORA_SUPERVISION_PASS_MS when set to a positive
// number of milliseconds, otherwise 2 seconds.
std::chrono::milliseconds supervision_pace_from_environment();

// Whether a channel record is a Skype call taken by the gateway to collect
// the number, on voice channel 0, whose first packet has not come more than
// 2 seconds after `startskypecall`.
bool is_stale_channel(const S_User& user, time_t now);

// Returns a stale record to the idle state and frees its channel.
void reclaim_channel(S_User& user);

#endif
