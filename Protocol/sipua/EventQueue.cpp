#include "Protocol/sipua/EventQueue.h"

#include <chrono>
#include <cstdio>
#include <memory>

namespace sipua {

void EventDeleter::operator()(eXosip_event_t* e) const {
  if (!e) return;
  if (e->request) osip_message_free(e->request);
  if (e->response) osip_message_free(e->response);
  if (e->ack) osip_message_free(e->ack);
  std::default_delete<eXosip_event_t>()(e);
}

static const char* const kNames[] = {
    "EXOSIP_REGISTRATION_NEW",        "EXOSIP_REGISTRATION_SUCCESS",       "EXOSIP_REGISTRATION_FAILURE",
    "EXOSIP_REGISTRATION_REFRESHED",  "EXOSIP_REGISTRATION_TERMINATED",    "EXOSIP_CALL_INVITE",
    "EXOSIP_CALL_REINVITE",           "EXOSIP_CALL_NOANSWER",              "EXOSIP_CALL_PROCEEDING",
    "EXOSIP_CALL_RINGING",            "EXOSIP_CALL_ANSWERED",              "EXOSIP_CALL_REDIRECTED",
    "EXOSIP_CALL_REQUESTFAILURE",     "EXOSIP_CALL_SERVERFAILURE",         "EXOSIP_CALL_GLOBALFAILURE",
    "EXOSIP_CALL_ACK",                "EXOSIP_CALL_CANCELLED",             "EXOSIP_CALL_TIMEOUT",
    "EXOSIP_CALL_MESSAGE_NEW",        "EXOSIP_CALL_MESSAGE_PROCEEDING",    "EXOSIP_CALL_MESSAGE_ANSWERED",
    "EXOSIP_CALL_MESSAGE_REDIRECTED", "EXOSIP_CALL_MESSAGE_REQUESTFAILURE", "EXOSIP_CALL_MESSAGE_SERVERFAILURE",
    "EXOSIP_CALL_MESSAGE_GLOBALFAILURE", "EXOSIP_CALL_CLOSED",             "EXOSIP_CALL_RELEASED",
    "EXOSIP_MESSAGE_NEW",             "EXOSIP_MESSAGE_PROCEEDING",         "EXOSIP_MESSAGE_ANSWERED",
    "EXOSIP_MESSAGE_REDIRECTED",      "EXOSIP_MESSAGE_REQUESTFAILURE",     "EXOSIP_MESSAGE_SERVERFAILURE",
    "EXOSIP_MESSAGE_GLOBALFAILURE",
};

const char* event_type_name(int type) {
  if (type >= 0 && static_cast<size_t>(type) < sizeof kNames / sizeof kNames[0]) return kNames[type];
  return "EXOSIP_EVENT_UNKNOWN";
}

EventPtr new_event(eXosip_event_type_t type) {
  EventPtr e(std::make_unique<eXosip_event_t>().release());  // released by EventDeleter
  e->type = type;
  snprintf(e->textinfo, sizeof e->textinfo, "%s", event_type_name(type));
  return e;
}

bool EventQueue::push(EventPtr e) {
  {
    std::lock_guard<std::mutex> l(mu_);
    if (q_.size() >= kMaxEvents) return false;
    q_.push_back(std::move(e));
  }
  cv_.notify_one();
  return true;
}

EventPtr EventQueue::wait(int timeout_ms) {
  std::unique_lock<std::mutex> l(mu_);
  if (timeout_ms > 0)
    cv_.wait_for(l, std::chrono::milliseconds(timeout_ms), [this] { return !q_.empty(); });
  if (q_.empty()) return nullptr;
  EventPtr e = std::move(q_.front());
  q_.pop_front();
  return e;
}

size_t EventQueue::size() {
  std::lock_guard<std::mutex> l(mu_);
  return q_.size();
}

bool EventQueue::full() { return size() >= kMaxEvents; }

void EventQueue::clear() {
  std::deque<EventPtr> old;
  {
    std::lock_guard<std::mutex> l(mu_);
    old.swap(q_);
  }
}

}  // namespace sipua

#include "Protocol/sipua/ServerTransaction.h"
#include "Protocol/sipua/Stack.h"

using namespace sipua;

eXosip_event_t* eXosip_event_wait(int tv_s, int tv_ms) {
  Stack* s = stack();
  if (!s) return nullptr;
  long ms = static_cast<long>(tv_s < 0 ? 0 : tv_s) * 1000L + (tv_ms < 0 ? 0 : tv_ms);
  if (ms > 3600000L) ms = 3600000L;
  return s->events.wait(static_cast<int>(ms)).release();
}

void eXosip_event_free(eXosip_event_t* event) {
  EventPtr e(event);
  if (!e) return;
  Stack* s = stack();
  if (!s) return;
  Lock l(s->mu);
  answer_unanswered(*s, e.get());
}
