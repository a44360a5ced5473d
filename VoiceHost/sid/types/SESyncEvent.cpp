#include "VoiceHost/sid/types/SESyncEvent.h"

#include <cerrno>
#include <ctime>

#include "VoiceHost/sid/types/Fatal.h"

// The deadline of a timed wait is taken on the monotonic clock, so that setting
// the time of day neither stretches nor cuts a wait.
SESyncEventImpl::SESyncEventImpl() : wait(true)
{
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  if (pthread_cond_init(&cond, &attr) != 0) Sid::fatal_posix("pthread_cond_init() failed");
  pthread_condattr_destroy(&attr);
  if (pthread_mutex_init(&mutex, nullptr) != 0) Sid::fatal_posix("pthread_mutex_init() failed");
}

SESyncEventImpl::~SESyncEventImpl()
{
  pthread_cond_destroy(&cond);
  pthread_mutex_destroy(&mutex);
}

void SESyncEventImpl::Trigger()
{
  if (pthread_mutex_lock(&mutex) != 0) Sid::fatal_posix("pthread_mutex_lock() failed");
  wait = false;
  int rc = pthread_cond_broadcast(&cond);
  pthread_mutex_unlock(&mutex);
  if (rc != 0) Sid::fatal_posix("pthread_cond_broadcast() failed");
}

bool SESyncEventImpl::Wait(int ms)
{
  if (pthread_mutex_lock(&mutex) != 0) Sid::fatal_posix("pthread_mutex_lock() failed");
  if (ms < 0) {
    while (wait) {
      if (pthread_cond_wait(&cond, &mutex) != 0) Sid::fatal_posix("pthread_cond_wait() failed");
    }
  } else {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    while (wait) {
      int rc = pthread_cond_timedwait(&cond, &mutex, &deadline);
      if (rc == ETIMEDOUT) break;
      if (rc != 0) Sid::fatal_posix("pthread_cond_timedwait() failed");
    }
  }
  bool signalled = !wait;
  if (signalled) wait = true;
  pthread_mutex_unlock(&mutex);
  return signalled;
}
