#ifndef VELMORA_REGISTRY_CALLLOGS_H
#define VELMORA_REGISTRY_CALLLOGS_H

// An account's table of the numbers it has called today: one entry per
// distinct target, in sort order; its size is the account's count of
// different numbers called today. Written to and loaded from the account's
// calllogs.xml; emptied each night. Safe to use from several threads.

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class CallLogs {
public:
  CallLogs() = default;
  CallLogs(const CallLogs& other);
  CallLogs& operator=(const CallLogs& other);

  // Adds `number` with `value`; an existing entry stays as it is. True when added.
  bool insert(const std::string& number, int value = 0);
  bool contains(const std::string& number) const;
  size_t size() const;
  void clear();
  // The numbers in table order.
  std::vector<std::string> numbers() const;

private:
  mutable std::mutex d_mutex;
  std::map<std::string, int> d_table;
};

#endif
