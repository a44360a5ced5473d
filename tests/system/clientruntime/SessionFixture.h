#ifndef TESTS_SYSTEM_CLIENTRUNTIME_SESSIONFIXTURE_H
#define TESTS_SYSTEM_CLIENTRUNTIME_SESSIONFIXTURE_H

// What the tests of the client library against the simulator share: a
// simulator in a directory of its own, a session that connects and logs in
// as the gateway's does, a call's objects, and readers of logs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/system/SimProcess.h"
#include "tests/system/clientruntime/WatchedSkype.h"

namespace simtest {

constexpr unsigned ACCOUNT = Account::MODULE_ID;
constexpr unsigned CONVERSATION = Conversation::MODULE_ID;
constexpr unsigned PARTICIPANT = Participant::MODULE_ID;

inline std::string num(unsigned v) { return std::to_string(v); }

// A simulator for `account` on a port not used before in this process (no
// listener has to wait for an earlier one's connections to clear).
struct Sim {
  TempDir dir;
  SimProcess process;
  Sim(const std::string& account, const std::string& settings);
};

// One session of the client library, as the gateway holds one per account.
struct Client {
  WatchedSkype skype;
  AccountRef account;   // after the root: released before it goes

  // init with a throw-away token (3 retries, 1 s apart), then start().
  bool connect(const SimProcess& sim, const std::string& log_name = "");
  // Looks the account up (its proxy is made, so that it receives OnChange),
  // logs in and waits until STATUS reaches `until`.
  bool login(const std::string& name, const std::string& password, Account::STATUS until = Account::LOGGED_IN);
  std::vector<std::string> account_values(int prop) { return skype.values(ACCOUNT, account.get_oid(), prop); }
};

// A call's conversation and its remote participant, both with proxies.
struct Call {
  ConversationRef conversation;
  ParticipantRef remote;
};
::testing::AssertionResult open_call(Client& c, const std::string& identity, Call& call);

// Lines of an event log matching a pattern.
size_t count_lines(const std::string& log, const std::string& pattern);
// Occurrences of `what` in `bytes` that do not overlap.
size_t count_of(const std::string& bytes, const std::string& what);
// An unsigned value as the protocol encodes it.
std::string varint(unsigned v);
std::string file_bytes(const std::string& path);

} // namespace simtest

#endif
