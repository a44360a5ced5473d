#include <cstdlib>
#include <mutex>

#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

int GetChannel(int max) {
  GW_TRACE("GetChannel max=%d workchan=%x\n\n", max, workchannels);
  if (max > MAX_CHANNELS) max = MAX_CHANNELS;
  std::lock_guard<SkypeMutex> lock(workmutex);
  for (int i = 0; i < max; ++i) {
    uint32_t bit = 1u << i;
    if (!(workchannels & bit)) {
      workchannels |= bit;
      return i + 1;
    }
  }
  return -1;
}

void clearChannel(int chan) {
  if (chan < 1 || chan > MAX_CHANNELS) return;
  std::lock_guard<SkypeMutex> lock(workmutex);
  workchannels &= ~(1u << (chan - 1));
}

int gw_channel_count() {
  const char* text = getenv("VELMORA_CHANNELS");
  if (!text || !*text) return MAX_CHANNELS;
  char* end = nullptr;
  long n = strtol(text, &end, 10);
  if (*end != '\0' || n < 0 || n > MAX_CHANNELS) return MAX_CHANNELS;
  return static_cast<int>(n);
}
