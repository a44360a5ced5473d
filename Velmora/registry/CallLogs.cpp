#include "Velmora/registry/CallLogs.h"

CallLogs::CallLogs(const CallLogs& other) {
  std::lock_guard<std::mutex> lock(other.d_mutex);
  d_table = other.d_table;
}

CallLogs& CallLogs::operator=(const CallLogs& other) {
  if (this == &other) return *this;
  std::map<std::string, int> copy;
  {
    std::lock_guard<std::mutex> lock(other.d_mutex);
    copy = other.d_table;
  }
  std::lock_guard<std::mutex> lock(d_mutex);
  d_table.swap(copy);
  return *this;
}

bool CallLogs::insert(const std::string& number, int value) {
  std::lock_guard<std::mutex> lock(d_mutex);
  return d_table.emplace(number, value).second;
}

bool CallLogs::contains(const std::string& number) const {
  std::lock_guard<std::mutex> lock(d_mutex);
  return d_table.count(number) != 0;
}

size_t CallLogs::size() const {
  std::lock_guard<std::mutex> lock(d_mutex);
  return d_table.size();
}

void CallLogs::clear() {
  std::lock_guard<std::mutex> lock(d_mutex);
  d_table.clear();
}

std::vector<std::string> CallLogs::numbers() const {
  std::lock_guard<std::mutex> lock(d_mutex);
  std::vector<std::string> out;
  out.reserve(d_table.size());
  for (const auto& entry : d_table) out.push_back(entry.first);
  return out;
}
