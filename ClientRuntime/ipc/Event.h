#ifndef CLIENTRUNTIME_IPC_EVENT_H
#define CLIENTRUNTIME_IPC_EVENT_H

#include <condition_variable>
#include <mutex>

namespace Sid {

// An auto-reset event: notify() marks it signalled and wakes a waiter; wait()
// blocks until it is signalled and then resets it. A notify() that comes
// before the wait() is not lost.
class Event {
public:
  void notify() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_signalled = true;
    }
    m_cond.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return m_signalled; });
    m_signalled = false;
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_signalled = false;
};

} // namespace Sid

#endif
