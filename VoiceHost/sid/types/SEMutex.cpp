#include "VoiceHost/sid/types/SEMutex.h"

#include <cstdio>
#include <cstdlib>

#include "VoiceHost/sid/types/Fatal.h"

namespace Sid {

void fatal_posix(const char* message)
{
  perror(message);
  abort();
}

}  // namespace Sid

SEMutexImpl::SEMutexImpl()
{
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) Sid::fatal_posix("pthread_mutexattr_init() failed");
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  if (pthread_mutex_init(&m_mutex, &attr) != 0) Sid::fatal_posix("pthread_mutex_init() failed");
  pthread_mutexattr_destroy(&attr);
}

SEMutexImpl::~SEMutexImpl() { pthread_mutex_destroy(&m_mutex); }

void SEMutexImpl::Acquire()
{
  if (pthread_mutex_lock(&m_mutex) != 0) Sid::fatal_posix("pthread_mutex_lock() failed");
}

void SEMutexImpl::Release() { pthread_mutex_unlock(&m_mutex); }
