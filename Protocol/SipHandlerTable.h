#ifndef PROTOCOL_SIPHANDLERTABLE_H
#define PROTOCOL_SIPHANDLERTABLE_H

#include <map>
#include <mutex>

struct eXosip_event;
typedef struct eXosip_event eXosip_event_t;

// A gateway handler of one SIP event type: the context registered with it,
// and the event, which the dispatcher frees after the handler returns.
typedef void (*SipProtoHandler)(void* context, eXosip_event_t* event);

struct SipProtoCallback {
  SipProtoHandler handler = nullptr;
  void* context = nullptr;
};

// The handler table of the SIP event thread, by event type. It is filled at
// start-up while the event thread may already look entries up, so both
// sides take its lock; a lookup hands out a copy, and the handler runs
// without the lock held.
class SipHandlerTable {
public:
  // Stores (handler, context) under `type`, replacing an earlier entry.
  void Register(int type, SipProtoHandler handler, void* context);
  // The entry of `type`; false when there is none.
  bool Find(int type, SipProtoCallback& out) const;

private:
  mutable std::mutex m_mutex;
  std::map<int, SipProtoCallback> m_handlers;
};

#endif
