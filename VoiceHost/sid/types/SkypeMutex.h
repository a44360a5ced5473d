#ifndef SID_TYPES_SKYPEMUTEX_H
#define SID_TYPES_SKYPEMUTEX_H

#include <pthread.h>

#include "VoiceHost/sid/types/NoCopy.h"

// A plain, non-recursive mutex: a thread that locks it twice blocks itself.
// The gateway's shared tables are guarded by these.
class SkypeMutex : public NoCopy {
public:
  SkypeMutex() { pthread_mutex_init(&d_mutex, nullptr); }
  ~SkypeMutex() { pthread_mutex_destroy(&d_mutex); }

  void Lock() { pthread_mutex_lock(&d_mutex); }
  void Unlock() { pthread_mutex_unlock(&d_mutex); }

  // BasicLockable, so that std::lock_guard and std::scoped_lock can hold it.
  void lock() { Lock(); }
  void unlock() { Unlock(); }

private:
  pthread_mutex_t d_mutex;
};

#endif
