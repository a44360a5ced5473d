#ifndef SID_TYPES_SESYNCEVENT_H
#define SID_TYPES_SESYNCEVENT_H

#include <pthread.h>

#include "VoiceHost/sid/types/NoCopy.h"

// An auto-reset event: Trigger() wakes every waiter; the Wait() that sees the
// event signalled resets it, so the next Wait() blocks again.
class SESyncEventImpl : public NoCopy {
public:
  SESyncEventImpl();
  ~SESyncEventImpl();

  void Trigger();
  // Waits until signalled (ms < 0: without limit). True when signalled (and the
  // event is reset), false on timeout (the event is left as it was).
  bool Wait(int ms = -1);

private:
  pthread_cond_t cond;
  pthread_mutex_t mutex;
  bool wait;  // true while not signalled; guarded by mutex
};

class SESyncEvent : public SESyncEventImpl {};

#endif
