#include "Velmora/registry/Clock.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
std::atomic<long long> g_offset{0};
}

time_t gw_time() { return static_cast<time_t>(static_cast<long long>(time(nullptr)) + g_offset.load()); }

struct tm gw_localtime() {
  time_t now = gw_time();
  struct tm out;
  localtime_r(&now, &out);
  return out;
}

void gw_clock_set(time_t now) {
  g_offset.store(static_cast<long long>(now) - static_cast<long long>(time(nullptr)));
}

void gw_clock_reset() { g_offset.store(0); }

bool gw_clock_from_environment() {
  const char* text = getenv("VELMORA_CLOCK");
  if (!text || !*text) return true;
  struct tm when;
  memset(&when, 0, sizeof when);
  const char* end = strptime(text, "%Y-%m-%d %H:%M:%S", &when);
  if (!end || *end) return false;
  when.tm_isdst = -1;
  time_t t = mktime(&when);
  if (t == static_cast<time_t>(-1)) return false;
  gw_clock_set(t);
  return true;
}
