#ifndef TESTS_SYSTEM_SIMPROCESS_H
#define TESTS_SYSTEM_SIMPROCESS_H

// One velmora-runtime-sim serving one account on a loopback port, started
// with fork+exec in a directory of its own: its settings file, the control
// socket (one command line, one reply line) and its event log.
#include <sys/types.h>

#include <string>

namespace simtest {

class SimProcess {
public:
  SimProcess(const std::string& dir, const std::string& account, int port, const std::string& settings);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Waits until the control socket answers "status".
  bool ready(int timeout_ms = 10000);
  // One control command; its reply line, or "" when the socket is gone.
  std::string control(const std::string& line);
  // The value of key=... in a control reply ("" when absent).
  static std::string field(const std::string& reply, const std::string& key);
  std::string log() const;
  // Waits until the event log holds `text`.
  bool log_has(const std::string& text, int timeout_ms = 10000) const;
  // SIGKILL, as the runtime dies.
  void kill_now();

  const std::string& account() const { return m_account; }
  int port() const { return m_port; }
  pid_t pid() const { return m_pid; }

private:
  std::string m_dir;
  std::string m_account;
  int m_port;
  pid_t m_pid = -1;
  bool m_killed = false;
};

// A fresh directory under the temporary directory, removed by its destructor.
class TempDir {
public:
  explicit TempDir(const std::string& tag);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }

private:
  std::string m_path;
};

} // namespace simtest

#endif
