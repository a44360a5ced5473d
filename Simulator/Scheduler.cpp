#include "Simulator/Scheduler.h"

namespace velsim {

Scheduler::Scheduler() : m_thread([this] { run(); }) {}

Scheduler::~Scheduler() { stop(); }

void Scheduler::after(int ms, std::function<void()> action) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_items.push({std::chrono::steady_clock::now() + std::chrono::milliseconds(ms), m_seq++, std::move(action)});
  m_cv.notify_one();
}

void Scheduler::stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_cv.notify_one();
  }
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void Scheduler::run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_stop) {
    if (m_items.empty()) {
      m_cv.wait(lock);
      continue;
    }
    auto when = m_items.top().when;
    if (std::chrono::steady_clock::now() < when) {
      m_cv.wait_until(lock, when);
      continue;
    }
    auto action = std::move(const_cast<Item&>(m_items.top()).action);
    m_items.pop();
    lock.unlock();
    action();
    lock.lock();
  }
}

}  // namespace velsim
