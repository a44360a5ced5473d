#include "tests/system/clientruntime/SessionFixture.h"

#include <fstream>
#include <regex>
#include <sstream>

#include "tests/unit/clientruntime/TestPeer.h"

namespace simtest {

namespace {
int next_port() {
  static int port = 9400;
  return port++;
}
} // namespace

Sim::Sim(const std::string& account, const std::string& settings)
    : dir(account), process(dir.path(), account, next_port(), settings) {}

bool Client::connect(const SimProcess& sim, const std::string& log_name) {
  int rc = skype.init(testpeer::self_signed_pem().c_str(), "127.0.0.1", sim.port(),
                      log_name.empty() ? nullptr : log_name.c_str(), 3, 1);
  return rc == 0 && skype.start();
}

bool Client::login(const std::string& name, const std::string& password, Account::STATUS until) {
  if (!skype.GetAccount(name.c_str(), account) || !account || !account.fetch()) return false;
  if (!account->LoginWithPassword(password.c_str(), false, true)) return false;
  return skype.wait_value(ACCOUNT, account.get_oid(), Account::P_STATUS, num(until));
}

::testing::AssertionResult open_call(Client& c, const std::string& identity, Call& call) {
  if (!c.skype.GetConversationByIdentity(identity.c_str(), call.conversation) || !call.conversation.fetch())
    return ::testing::AssertionFailure() << "no conversation for " << identity;
  ParticipantRefs others;
  if (!call.conversation->GetParticipants(others, Conversation::OTHER_CONSUMERS) || others.size() != 1)
    return ::testing::AssertionFailure() << "not one other participant";
  call.remote = others[0];
  SEString who;
  if (!call.remote.fetch() || !call.remote->GetPropIdentity(who) || !(who == identity.c_str()))
    return ::testing::AssertionFailure() << "remote participant is not " << identity;
  return ::testing::AssertionSuccess();
}

size_t count_lines(const std::string& log, const std::string& pattern) {
  std::regex re(pattern);
  std::istringstream lines(log);
  size_t n = 0;
  for (std::string line; std::getline(lines, line);) n += std::regex_search(line, re) ? 1 : 0;
  return n;
}

size_t count_of(const std::string& bytes, const std::string& what) {
  size_t n = 0;
  for (size_t at = bytes.find(what); at != std::string::npos; at = bytes.find(what, at + what.size())) ++n;
  return n;
}

std::string varint(unsigned v) {
  std::string out;
  do {
    unsigned char b = v & 0x7F;
    v >>= 7;
    out += static_cast<char>(v ? (b | 0x80) : b);
  } while (v);
  return out;
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

} // namespace simtest
