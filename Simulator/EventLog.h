#ifndef SIMULATOR_EVENTLOG_H
#define SIMULATOR_EVENTLOG_H

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace velsim {

// One line per protocol exchange and per call event, in "<NAME>.log":
// seconds since start, a category word and the details.
class EventLog {
public:
  EventLog() = default;
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  bool open(const std::string& path);
  void write(const char* category, const std::string& text);
  void printf(const char* category, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

private:
  std::mutex m_mutex;
  FILE* m_file = nullptr;
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace velsim

#endif
