#include "ClientRuntime/ipc/Session.h"

#include <cstdio>

namespace Sid {
namespace {
thread_local CommandProcessor* t_current = nullptr;
} // namespace

void CommandInitiator::fork() {
  if (m_session) m_session->allocate(m_command);
}

int CommandInitiator::yield() {
  if (m_session && m_session->is_stopped()) return 0;
  m_event.wait();
  return m_resume_value.load();
}

CommandProcessor::CommandProcessor(Session* session, CommandInterface* command, int number)
    : CommandInitiator(session, command) {
  std::snprintf(m_name, sizeof m_name, "CmdProcessor%2d", number);
}

CommandProcessor::~CommandProcessor() { join(); }

void CommandProcessor::start() { m_thread = std::thread([this] { Run(); }); }

void CommandProcessor::join() {
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

CommandProcessor* CommandProcessor::current() { return t_current; }

void CommandProcessor::Run() {
  t_current = this;
  for (;;) {
    if (m_command) m_command->process_command(this);
    if (!m_session->deallocate(this)) continue;
    if (yield() <= 0) break;
  }
  t_current = nullptr;
  m_session->exit_thread(this);
}

// The second and third arguments are taken for the callers' sake; the pool
// is bounded by the first alone.
Session::Session(int max_processors, int, int) : m_max(max_processors) {}

Session::~Session() {
  stop();
  for (auto& p : m_processors) p->join();
}

CommandProcessor* Session::allocate(CommandInterface* command) {
  CommandProcessor* idle = nullptr;
  CommandProcessor* fresh = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopped) return nullptr;
    if (m_free) {
      idle = m_free;
      m_free = idle->next;
      idle->next = nullptr;
      ++m_busy;
    } else if (m_threads < m_max) {
      ++m_threads;
      ++m_busy;
      m_processors.push_back(std::make_unique<CommandProcessor>(this, command, m_threads));
      fresh = m_processors.back().get();
    } else {
      notify_no_more_command_processor();
      return nullptr;
    }
  }
  if (idle) {
    idle->set_command(command);
    return idle;
  }
  fresh->start();
  return fresh;
}

bool Session::deallocate(CommandProcessor* processor) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_busy == m_threads && m_threads >= m_max && !m_stopped) {
    if (reuse_command_processor(processor)) return false;
  }
  --m_busy;
  if (m_stopped) {
    processor->resume(0);
  } else {
    processor->next = m_free;
    m_free = processor;
  }
  return true;
}

void Session::exit_thread(CommandProcessor*) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (--m_threads == 0) m_exit_event.notify();
}

void Session::stop() {
  bool wait = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = true;
    for (CommandProcessor* p = m_free; p;) {
      CommandProcessor* next = p->next;
      p->next = nullptr;
      p->resume(0);
      p = next;
    }
    m_free = nullptr;
    wait = m_threads > 0;
  }
  // A processor thread that stops its own session cannot wait for itself.
  if (wait && CommandProcessor::current() == nullptr) m_exit_event.wait();
}

int Session::thread_count() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_threads;
}

int Session::busy_count() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_busy;
}

} // namespace Sid
