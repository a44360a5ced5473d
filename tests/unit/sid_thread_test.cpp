// Mutexes, threads and the auto-reset event.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "VoiceHost/sid/types/SEMutex.h"
#include "VoiceHost/sid/types/SESyncEvent.h"
#include "VoiceHost/sid/types/SEThread.h"
#include "VoiceHost/sid/types/SkypeMutex.h"

namespace {

using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point since)
{
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(SEMutex, IsRecursive)
{
  Sid::Mutex m("test");
  m.Acquire();
  m.Acquire();
  {
    SEMutexLock again(m);
  }
  m.Release();
  m.Release();
  std::atomic<bool> got{false};
  std::thread other([&]() {
    std::lock_guard<Sid::Mutex> hold(m);
    got = true;
  });
  other.join();
  EXPECT_TRUE(got);
}

TEST(SkypeMutex, IsNotRecursive)
{
  SkypeMutex m;
  m.Lock();
  std::atomic<bool> got{false};
  std::thread other([&]() {
    m.Lock();
    got = true;
    m.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(got);  // held: the other thread waits
  m.Unlock();
  other.join();
  EXPECT_TRUE(got);
}

TEST(SESyncEvent, AutoResetAndTimeout)
{
  SESyncEvent e;
  auto start = Clock::now();
  EXPECT_FALSE(e.Wait(100));
  long waited = elapsed_ms(start);
  EXPECT_GE(waited, 95);
  EXPECT_LT(waited, 2000);
  e.Trigger();
  EXPECT_TRUE(e.Wait(100));
  start = Clock::now();
  EXPECT_FALSE(e.Wait(50));  // reset by the previous Wait
  EXPECT_GE(elapsed_ms(start), 45);
  std::thread trigger([&]() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    e.Trigger();
  });
  EXPECT_TRUE(e.Wait(-1));
  trigger.join();
}

class SleepyThread : public Sid::Thread {
public:
  explicit SleepyThread(int ms) : Sid::Thread("sleepy"), m_ms(ms) {}
  ~SleepyThread() override { Stop(); }
  void Run() override
  {
    seen_self = Sid::Thread::current() == this;
    Sid::Thread::sleep(m_ms);
    finished = true;
  }
  std::atomic<bool> finished{false};
  std::atomic<bool> seen_self{false};

private:
  int m_ms;
};

TEST(SEThread, RunsAndStops)
{
  SleepyThread t(20);
  EXPECT_FALSE(t.IsRunning());
  ASSERT_TRUE(t.start("renamed"));
  EXPECT_STREQ(t.get_name(), "renamed");
  EXPECT_FALSE(t.Start());  // already running
  t.Stop();
  EXPECT_TRUE(t.finished);
  EXPECT_TRUE(t.seen_self);
  EXPECT_FALSE(t.IsRunning());
  EXPECT_EQ(SEThread::Current(), nullptr);  // not started by SEThread
  ASSERT_TRUE(t.Start());  // can run again after a stop
  t.Stop();
}

TEST(SEThread, DestroyingWaitsForRun)
{
  std::atomic<bool>* finished = nullptr;
  auto start = Clock::now();
  {
    SleepyThread t(100);
    finished = &t.finished;
    ASSERT_TRUE(t.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(t.IsRunning());
  }
  EXPECT_GE(elapsed_ms(start), 95);
  (void)finished;
}

class StackProbe : public SEThread {
public:
  ~StackProbe() override { Stop(); }
  void Run() override
  {
    pthread_attr_t attr;
    pthread_getattr_np(pthread_self(), &attr);
    pthread_attr_getstacksize(&attr, &stack);
    pthread_attr_destroy(&attr);
  }
  size_t stack = 0;
};

TEST(SEThread, StackSize)
{
  StackProbe p;
  p.Start();
  p.Stop();
  EXPECT_GE(p.stack, 128000u);
#if !defined(__SANITIZE_THREAD__)
  // (ThreadSanitizer enlarges every thread's stack.) Far below the 8 MB default.
  EXPECT_LT(p.stack, 256000u);
#endif
}

}  // namespace
