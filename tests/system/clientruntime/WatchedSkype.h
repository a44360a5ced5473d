#ifndef TESTS_SYSTEM_CLIENTRUNTIME_WATCHEDSKYPE_H
#define TESTS_SYSTEM_CLIENTRUNTIME_WATCHEDSKYPE_H

// A Skype root for tests against a runtime: every OnChange of its account,
// conversation and participant proxies is recorded with the value it finds
// in the cache at that moment, and so are the conversation-list changes
// (with the conversation's live status read in the callback) and the
// Connected() and Disconnected() calls. Waiting on what was recorded takes a deadline.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ClientRuntime/api/generated/SkypeApi.h"

namespace simtest {

struct Change {
  unsigned modid, oid;
  int prop;
  std::string value;   // decimal for numbers and enumerations, else the text
};

struct ListChange {
  unsigned oid;
  unsigned type;
  bool added;
  int livestatus;   // read in the callback; -1 when the read failed
};

class WatchedSkype : public Skype {
public:
  explicit WatchedSkype(int max_processors = 8) : Skype(max_processors) {}
  ~WatchedSkype() override;

  Account* newAccount(int oid) override;
  Conversation* newConversation(int oid) override;
  Participant* newParticipant(int oid) override;
  void OnConversationListChange(const ConversationRef& conversation, const Conversation::LIST_TYPE& type,
                                const bool& added) override;
  void Connected() override { ++m_connects; }
  void Disconnected() override;

  // The values recorded for one property of one object, in order.
  std::vector<std::string> values(unsigned modid, unsigned oid, int prop);
  std::vector<ListChange> list_changes();
  int connects() const { return m_connects.load(); }
  int disconnects() const { return m_disconnects.load(); }
  // Waits until `done` holds (checked whenever something is recorded).
  bool wait(const std::function<bool()>& done, int timeout_ms = 10000);
  // Waits until the property has been seen with `value`.
  bool wait_value(unsigned modid, unsigned oid, int prop, const std::string& value, int timeout_ms = 10000);

  // Called by the proxies.
  void record(unsigned modid, unsigned oid, int prop, const std::string& value);

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<Change> m_changes;
  std::vector<ListChange> m_lists;
  std::vector<ConversationRef> m_listed;   // keeps the listed conversations' proxies
  std::atomic<int> m_connects{0};
  std::atomic<int> m_disconnects{0};
};

} // namespace simtest

#endif
