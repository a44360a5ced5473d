#ifndef SID_TYPES_SETHREAD_H
#define SID_TYPES_SETHREAD_H

#include <pthread.h>

#include <atomic>

#include "VoiceHost/sid/types/NoCopy.h"
#include "VoiceHost/sid/types/SEString.h"

// A POSIX thread (128000-byte stack) that runs the virtual Run(). The object
// must outlive the thread: the destructor joins it, but a subclass whose Run()
// uses its own members must call Stop() in its own destructor.
class SEThreadImpl : public NoCopy {
public:
  static constexpr unsigned STACK_SIZE = 128000;

  SEThreadImpl() = default;
  virtual void Run() = 0;
  virtual ~SEThreadImpl();

  // Starts the thread; false when it is already running or cannot be created.
  bool Start();
  // Joins the thread if it has not been joined, then marks it shut down.
  void Stop();
  bool IsRunning() const { return Running.load(); }
  bool IsShutdown() const { return Shutdown.load(); }

  static void Sleep(int ms);
  // The object of the calling thread; null on a thread not started by this class.
  static SEThreadImpl* Current();

protected:
  virtual void StopImpl() {}

private:
  static void* entry(void* self);

  std::atomic<bool> Shutdown{false};
  std::atomic<bool> Running{false};
  std::atomic<bool> Joined{true};
  pthread_t thread_id{};
  bool has_id = false;
};

class SEThread : public SEThreadImpl {
public:
  static SEThread* Current();
};

namespace Sid {

class Thread : public SEThread {
public:
  explicit Thread(const char* name = nullptr) : m_name(name) {}
  // Replaces the name when one is given, then starts.
  bool start(const char* name = nullptr);
  const SEString& get_name() const { return m_name; }
  static void sleep(int ms) { SEThread::Sleep(ms); }
  // The calling thread's object when it is a Sid::Thread, else null.
  static Thread* current();

private:
  SEString m_name;
};

}  // namespace Sid

#endif
