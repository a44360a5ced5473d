#ifndef CLIENTRUNTIME_IPC_SESSION_H
#define CLIENTRUNTIME_IPC_SESSION_H

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ClientRuntime/ipc/CommandInitiator.h"

namespace Sid {

// A command initiator with a thread of its own, one of the session's pool.
class CommandProcessor : public CommandInitiator {
public:
  CommandProcessor(Session* session, CommandInterface* command, int number);
  ~CommandProcessor() override;

  const char* get_name() const override { return m_name; }
  void set_command(CommandInterface* command) {
    m_command = command;
    resume(command ? 1 : 0);
  }
  void start();
  void join();
  // The processor of the calling thread, or null for any other thread.
  static CommandProcessor* current();

  CommandProcessor* next = nullptr;

private:
  void Run();
  char m_name[24];
  std::thread m_thread;
};

// The pool of command processors: created on demand up to the maximum,
// parked on a free list when idle, reused.
class Session {
public:
  Session(int max_processors, int unused_second, int unused_third);
  virtual ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  virtual void notify_no_more_command_processor() {}
  virtual bool reuse_command_processor(CommandProcessor*) { return false; }
  virtual void stop();

  CommandProcessor* allocate(CommandInterface* command);
  bool deallocate(CommandProcessor* processor);
  void exit_thread(CommandProcessor* processor);
  bool is_stopped() const { return m_stopped.load(); }

  int thread_count();
  int busy_count();

protected:
  // Marks the session stopped without touching the pool (requests are being
  // failed); stop() also releases and joins the threads.
  void set_stopped() { m_stopped = true; }

private:
  std::mutex m_mutex;
  CommandProcessor* m_free = nullptr;
  std::vector<std::unique_ptr<CommandProcessor>> m_processors;
  int m_threads = 0;
  int m_busy = 0;
  int m_max;
  Event m_exit_event;
  std::atomic<bool> m_stopped{false};
};

} // namespace Sid

#endif
