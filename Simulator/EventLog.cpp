#include "Simulator/EventLog.h"

#include <cstdarg>

namespace velsim {

EventLog::~EventLog() {
  if (m_file) fclose(m_file);
}

bool EventLog::open(const std::string& path) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_file) fclose(m_file);
  m_file = fopen(path.c_str(), "a");
  return m_file != nullptr;
}

void EventLog::write(const char* category, const std::string& text) {
  double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_file) return;
  fprintf(m_file, "%10.3f %-6s %s\n", t, category, text.c_str());
  fflush(m_file);
}

void EventLog::printf(const char* category, const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  write(category, buf);
}

}  // namespace velsim
