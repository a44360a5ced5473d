#ifndef PROTOCOL_MYTHREAD_H
#define PROTOCOL_MYTHREAD_H

#include <pthread.h>

#include <atomic>

// A minimal thread base: a derived class supplies Run, which loops while
// isRunning(). Stop asks the loop to end and joins the thread.
//
// The flags are atomics rather than plain volatile bools: they are written by
// the thread that calls Stop and read by the running thread.
class MyThread {
public:
  MyThread();
  virtual void Run() = 0;
  // A derived class must call Stop in its own destructor: by the time this
  // one runs, the derived part that Run uses is gone.
  virtual ~MyThread();

  MyThread(const MyThread&) = delete;
  MyThread& operator=(const MyThread&) = delete;

  // Starts the thread (stack of 128000 bytes) on thread_func. Prints
  // "pthread_create() failed" when it cannot be created.
  void Start();
  // Clears Running first, so that Run leaves its loop, then joins.
  void Stop();
  bool isRunning() const { return Running.load(); }

  static void* thread_func(void* arg);

  static constexpr size_t kStackSize = 128000;

protected:
  std::atomic<bool> Shutdown{false};
  std::atomic<bool> Running{false};
  std::atomic<bool> Joined{true};
  pthread_t thread_id{};
};

#endif
