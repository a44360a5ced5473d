#ifndef PROTOCOL_SIPSTACK_H
#define PROTOCOL_SIPSTACK_H

// The SIP stack as the handler uses it: our user agent's calls, named after
// the eXosip ones, with libosip2's message access.
#include "Protocol/sipua/SipUa.h"

// Holds the stack's lock for one build-and-send sequence.
class SipStackLock {
public:
  SipStackLock() { eXosip_lock(); }
  ~SipStackLock() { eXosip_unlock(); }
  SipStackLock(const SipStackLock&) = delete;
  SipStackLock& operator=(const SipStackLock&) = delete;
};

#endif
