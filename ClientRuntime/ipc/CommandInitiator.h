#ifndef CLIENTRUNTIME_IPC_COMMANDINITIATOR_H
#define CLIENTRUNTIME_IPC_COMMANDINITIATOR_H

#include <atomic>

#include "ClientRuntime/ipc/Event.h"

namespace Sid {

class Session;
class CommandInitiator;

// What a command processor runs: read and act on one incoming command.
class CommandInterface {
public:
  virtual void process_command(CommandInitiator* thread) = 0;
  virtual ~CommandInterface() = default;
};

// One logical caller of the protocol: a thread that may block waiting for an
// answer, woken with resume().
class CommandInitiator {
public:
  CommandInitiator(Session* session, CommandInterface* command) : m_session(session), m_command(command) {}
  virtual ~CommandInitiator() = default;
  CommandInitiator(const CommandInitiator&) = delete;
  CommandInitiator& operator=(const CommandInitiator&) = delete;

  virtual const char* get_name() const { return "unnamed"; }
  // Hands the reading of the next incoming command to another processor.
  void fork();
  void resume(int value) {
    m_resume_value.store(value);
    m_event.notify();
  }
  // 0 at once when the session is stopped; else waits for resume() and
  // returns its value.
  int yield();
  Session* get_session() const { return m_session; }

protected:
  Session* m_session;
  CommandInterface* m_command;
  std::atomic<int> m_resume_value{1};
  Event m_event;
};

} // namespace Sid

#endif
