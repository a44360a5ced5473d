#ifndef VELMORA_REGISTRY_CLOCK_H
#define VELMORA_REGISTRY_CLOCK_H

#include <ctime>

// The one clock of the gateway. Everything that depends on the date or the
// time of day (monthly and yearly file names, the nightly reset, repeat
// checks) reads it, so that tests can move it.

// Seconds since the epoch, like time(nullptr), shifted by the test offset.
time_t gw_time();

// Local time of gw_time().
struct tm gw_localtime();

// Makes gw_time() run on from `now`; gw_clock_reset() returns to the system clock.
void gw_clock_set(time_t now);
void gw_clock_reset();

// Applies VELMORA_CLOCK ("YYYY-MM-DD HH:MM:SS", local time) when it is set.
// Returns false when the variable is set but cannot be parsed.
bool gw_clock_from_environment();

#endif
