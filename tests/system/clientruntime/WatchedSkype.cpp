#include "tests/system/clientruntime/WatchedSkype.h"

#include <chrono>

namespace simtest {
namespace {

// The cached value of a property, as text; the kind decides the reader.
std::string cached_text(SEObject& object, SERootObject& root, int prop) {
  const Sid::Field* desc = root.get_property_desc(object.moduleID(), static_cast<unsigned>(prop));
  if (!desc) return "<no descriptor>";
  switch (desc->kind()) {
  case 'e':
  case 'u':
  case 'i':
  case 'U':
    return std::to_string(object.GetUintProp(static_cast<unsigned>(prop)));
  case 'S':
  case 'X': {
    SEString text = object.GetStrProp(static_cast<unsigned>(prop));
    return text.data() ? text.data() : "";
  }
  default:
    return "<kind " + std::string(1, static_cast<char>(desc->kind())) + ">";
  }
}

template <class Base>
class Watched : public Base {
public:
  Watched(unsigned oid, WatchedSkype* root) : Base(oid, root), m_watch(root) {}
  void OnChange(int prop) override {
    m_watch->record(this->moduleID(), this->getOID(), prop, cached_text(*this, *m_watch, prop));
  }

private:
  WatchedSkype* m_watch;
};

} // namespace

WatchedSkype::~WatchedSkype() {
  // No callback may run, and no proxy may remain, once the members are gone.
  stop();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listed.clear();
  }
  cleanup(1);
}

Account* WatchedSkype::newAccount(int oid) { return new Watched<Account>(static_cast<unsigned>(oid), this); }
Conversation* WatchedSkype::newConversation(int oid) {
  return new Watched<Conversation>(static_cast<unsigned>(oid), this);
}
Participant* WatchedSkype::newParticipant(int oid) {
  return new Watched<Participant>(static_cast<unsigned>(oid), this);
}

void WatchedSkype::OnConversationListChange(const ConversationRef& conversation, const Conversation::LIST_TYPE& type,
                                            const bool& added) {
  ConversationRef held = conversation;
  Conversation* proxy = held.fetch();
  Conversation::LOCAL_LIVESTATUS status{};
  int livestatus = proxy && proxy->GetPropLocalLivestatus(status) ? static_cast<int>(status) : -1;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_lists.push_back({conversation.get_oid(), static_cast<unsigned>(type), added, livestatus});
  m_listed.push_back(held);
  m_cv.notify_all();
}

void WatchedSkype::Disconnected() {
  ++m_disconnects;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_cv.notify_all();
}

void WatchedSkype::record(unsigned modid, unsigned oid, int prop, const std::string& value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_changes.push_back({modid, oid, prop, value});
  m_cv.notify_all();
}

std::vector<std::string> WatchedSkype::values(unsigned modid, unsigned oid, int prop) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> out;
  for (const Change& c : m_changes)
    if (c.modid == modid && c.oid == oid && c.prop == prop) out.push_back(c.value);
  return out;
}

std::vector<ListChange> WatchedSkype::list_changes() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lists;
}

bool WatchedSkype::wait(const std::function<bool()>& done, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    lock.unlock();
    bool ok = done();
    lock.lock();
    if (ok) return true;
    // Short slices: `done` may also look at things outside this root.
    if (m_cv.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(50))) ==
            std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= end) {
      lock.unlock();
      return done();
    }
  }
}

bool WatchedSkype::wait_value(unsigned modid, unsigned oid, int prop, const std::string& value, int timeout_ms) {
  return wait(
      [&] {
        for (const std::string& v : values(modid, oid, prop))
          if (v == value) return true;
        return false;
      },
      timeout_ms);
}

} // namespace simtest
