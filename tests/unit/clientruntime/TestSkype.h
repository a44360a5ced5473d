#ifndef TESTS_UNIT_CLIENTRUNTIME_TESTSKYPE_H
#define TESTS_UNIT_CLIENTRUNTIME_TESTSKYPE_H

// A Skype root whose proxies and callbacks record what reaches them.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "ClientRuntime/api/generated/SkypeApi.h"

namespace testpeer {

struct Record {
  std::mutex m;
  std::vector<std::string> log;   // "change 18/5/924", "finalize 18/5", "delete 18/5", "event ..."
  void add(const std::string& s) {
    std::lock_guard<std::mutex> l(m);
    log.push_back(s);
  }
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> l(m);
    return log;
  }
  size_t count(const std::string& s) {
    std::lock_guard<std::mutex> l(m);
    size_t n = 0;
    for (auto& e : log) n += e == s;
    return n;
  }
};

template <class Base>
class Recorded : public Base {
public:
  Recorded(unsigned oid, SERootObject* root, Record* rec) : Base(oid, root), m_rec(rec) {}
  ~Recorded() override { m_rec->add(tag("delete")); }
  void OnChange(int prop) override { m_rec->add(tag("change") + "/" + std::to_string(prop)); }
  void finalize() override { m_rec->add(tag("finalize")); }
  std::string tag(const char* what) const {
    return std::string(what) + " " + std::to_string(this->moduleID()) + "/" + std::to_string(this->getOID());
  }
  Record* m_rec;
};

class RecordedConversation : public Recorded<Conversation> {
public:
  using Recorded<Conversation>::Recorded;
  void OnParticipantListChange() override { m_rec->add(tag("participants")); }
  void OnMessage(const MessageRef& m) override { m_rec->add(tag("message") + " " + std::to_string(m.get_oid())); }
};

class RecordingSkype : public Skype {
public:
  explicit RecordingSkype(int max = 4) : Skype(max) {}
  ~RecordingSkype() override {
    stop();
    cleanup(1);   // the proxies log into rec: they go before it does
  }
  Record rec;
  std::atomic<int> disconnected{0};

  Conversation* newConversation(int oid) override { return new RecordedConversation(unsigned(oid), this, &rec); }
  Account* newAccount(int oid) override { return new Recorded<Account>(unsigned(oid), this, &rec); }
  Participant* newParticipant(int oid) override { return new Recorded<Participant>(unsigned(oid), this, &rec); }
  void Disconnected() override { ++disconnected; }
  void OnConversationListChange(const ConversationRef& c, const Conversation::LIST_TYPE& t, const bool&) override {
    rec.add("list " + std::to_string(c.get_oid()) + " " + std::to_string(unsigned(t)));
  }
  void OnMessage(const MessageRef& m, const bool&, const MessageRef&, const ConversationRef& c) override {
    rec.add("root message " + std::to_string(m.get_oid()) + " " + std::to_string(c.get_oid()));
  }
};

template <class F>
bool eventually(F f, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (f()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return f();
}

} // namespace testpeer

#endif
