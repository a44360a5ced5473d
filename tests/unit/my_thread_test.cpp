// The thread base: Start runs Run on its own thread with the small stack,
// Stop ends the loop and joins, and a stop before the start is harmless.

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <thread>

#include "Protocol/MyThread.h"

namespace {

class Looper : public MyThread {
public:
  ~Looper() override { Stop(); }
  void Run() override {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      pthread_attr_getstacksize(&attr, &stack);
      pthread_attr_destroy(&attr);
    }
    on_thread = !pthread_equal(pthread_self(), creator);
    while (isRunning()) {
      turns.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    left.store(true);
  }
  pthread_t creator = pthread_self();
  std::atomic<int> turns{0};
  std::atomic<bool> left{false};
  bool on_thread = false;
  size_t stack = 0;
};

TEST(MyThread, StartRunsLoopUntilStop) {
  Looper t;
  EXPECT_FALSE(t.isRunning());
  t.Start();
  EXPECT_TRUE(t.isRunning());
  for (int i = 0; i < 2000 && t.turns.load() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GE(t.turns.load(), 3);
  t.Stop();
  // Stop returns only after the thread left Run.
  EXPECT_TRUE(t.left.load());
  EXPECT_FALSE(t.isRunning());
  EXPECT_TRUE(t.on_thread);
  EXPECT_GE(t.stack, MyThread::kStackSize);
#if !defined(__SANITIZE_THREAD__)
  // (ThreadSanitizer enlarges every thread's stack.)
  EXPECT_LT(t.stack, MyThread::kStackSize + 65536);
#endif
  t.Stop();  // a second stop has nothing to join
}

void wait_turns(Looper& t, int n) {
  for (int i = 0; i < 2000 && t.turns.load() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(MyThread, StopWithoutStartStopAtOnceAndRestart) {
  Looper t;
  t.Stop();
  EXPECT_FALSE(t.isRunning());
  // A stop right after the start wins even if Run never got going.
  t.Start();
  t.Stop();
  EXPECT_FALSE(t.isRunning());
  t.Start();
  wait_turns(t, 1);
  EXPECT_TRUE(t.isRunning());
  t.Stop();
  EXPECT_TRUE(t.left.load());
  EXPECT_FALSE(t.isRunning());
}

TEST(MyThread, DestructorJoins) {
  auto t = std::make_unique<Looper>();
  t->Start();
  for (int i = 0; i < 2000 && t->turns.load() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // A thread still running on the freed object would be caught by ASan.
  t.reset();
  EXPECT_EQ(t, nullptr);
}

}  // namespace
