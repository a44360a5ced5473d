#ifndef SIMULATOR_SCHEDULER_H
#define SIMULATOR_SCHEDULER_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace velsim {

// Runs delayed actions on one thread of its own, in deadline order.
class Scheduler {
public:
  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  void after(int ms, std::function<void()> action);
  void stop();

private:
  struct Item {
    std::chrono::steady_clock::time_point when;
    unsigned long seq;
    std::function<void()> action;
    bool operator>(const Item& o) const { return when != o.when ? when > o.when : seq > o.seq; }
  };
  void run();

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> m_items;
  unsigned long m_seq = 0;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace velsim

#endif
