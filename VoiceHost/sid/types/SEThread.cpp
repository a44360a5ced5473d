#include "VoiceHost/sid/types/SEThread.h"

#include <cerrno>
#include <ctime>

#include "VoiceHost/sid/types/Fatal.h"

namespace {
// The object of each started thread.
thread_local SEThreadImpl* t_current = nullptr;
}  // namespace

SEThreadImpl::~SEThreadImpl() { Stop(); }

void* SEThreadImpl::entry(void* self)
{
  auto* thread = static_cast<SEThreadImpl*>(self);
  t_current = thread;
  thread->Run();
  thread->Running.store(false);
  t_current = nullptr;
  return nullptr;
}

bool SEThreadImpl::Start()
{
  if (Running.load() || !Joined.load()) return false;
  Shutdown.store(false);
  Running.store(true);
  Joined.store(false);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, STACK_SIZE);
  int rc = pthread_create(&thread_id, &attr, &SEThreadImpl::entry, this);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    errno = rc;
    Sid::fatal_posix("pthread_create() failed");
  }
  has_id = true;
  return true;
}

void SEThreadImpl::Stop()
{
  if (!Joined.load() && has_id) {
    StopImpl();
    pthread_join(thread_id, nullptr);
    Joined.store(true);
    has_id = false;
  }
  Shutdown.store(true);
  Running.store(false);
}

void SEThreadImpl::Sleep(int ms)
{
  if (ms <= 0) return;
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

SEThreadImpl* SEThreadImpl::Current() { return t_current; }

SEThread* SEThread::Current() { return dynamic_cast<SEThread*>(t_current); }

namespace Sid {

bool Thread::start(const char* name)
{
  if (name) m_name = name;
  return Start();
}

Thread* Thread::current() { return dynamic_cast<Thread*>(t_current); }

}  // namespace Sid
