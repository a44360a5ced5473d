#ifndef VELMORA_SIPUA_EVENTQUEUE_H
#define VELMORA_SIPUA_EVENTQUEUE_H

// The queue of events between the stack and the application: bounded, with a
// timed wait. It has its own lock, taken inside the stack lock and alone by
// eXosip_event_wait, so that waiting never holds the stack.

#include "Protocol/sipua/SipUa.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace sipua {

constexpr size_t kMaxEvents = 1024;

struct EventDeleter {
  void operator()(eXosip_event_t* e) const;
};
using EventPtr = std::unique_ptr<eXosip_event_t, EventDeleter>;

EventPtr new_event(eXosip_event_type_t type);
const char* event_type_name(int type);

class EventQueue {
 public:
  bool push(EventPtr e);  // false when full (the event is dropped)
  EventPtr wait(int timeout_ms);
  size_t size();
  bool full();
  void clear();

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<EventPtr> q_;
};

}  // namespace sipua

#endif
