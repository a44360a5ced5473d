#ifndef VELMORA_TESTS_UNIT_RECORDQUEUERESET_H
#define VELMORA_TESTS_UNIT_RECORDQUEUERESET_H

// For tests of the record writer: UTC, the gateway clock at a fixed moment
// (2026-03-15 12:00:00) and empty record and state queues for the life of
// the object; the queues and the clock are put back on destruction.

#include <cstdlib>
#include <ctime>

#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"

class RecordQueueReset {
public:
  static constexpr time_t kNow = 1773576000;

  RecordQueueReset() {
    setenv("TZ", "UTC", 1);
    tzset();
    gw_clock_set(kNow);
    clear();
  }
  ~RecordQueueReset() {
    clear();
    gw_clock_reset();
  }
  RecordQueueReset(const RecordQueueReset&) = delete;
  RecordQueueReset& operator=(const RecordQueueReset&) = delete;

private:
  static void clear() {
    v_cdr.clear();
    v_state.clear();
    countcdr = 0;
  }
};

#endif
