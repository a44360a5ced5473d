#ifndef SID_TYPES_SEMUTEX_H
#define SID_TYPES_SEMUTEX_H

#include <pthread.h>

#include "VoiceHost/sid/types/NoCopy.h"

// A recursive mutex: the thread that holds it may acquire it again, and must
// release it as many times.
class SEMutexImpl : public NoCopy {
public:
  SEMutexImpl();
  ~SEMutexImpl();

  void Acquire();
  void Release();

  // BasicLockable, so that std::lock_guard and std::scoped_lock can hold it.
  void lock() { Acquire(); }
  void unlock() { Release(); }

private:
  pthread_mutex_t m_mutex;
};

class SEMutex : public SEMutexImpl {};

// Holds an SEMutex for the life of the object.
class SEMutexLock : public NoCopy {
public:
  explicit SEMutexLock(SEMutex& mutex) : m_mutex(mutex) { m_mutex.Acquire(); }
  ~SEMutexLock() { m_mutex.Release(); }

private:
  SEMutex& m_mutex;
};

namespace Sid {

// A recursive mutex with a name for the reader of the code; the name is not kept.
class Mutex : public SEMutex {
public:
  explicit Mutex(const char* name = nullptr) { (void)name; }
};

}  // namespace Sid

#endif
