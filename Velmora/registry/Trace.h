#ifndef VELMORA_REGISTRY_TRACE_H
#define VELMORA_REGISTRY_TRACE_H

// Trace output of the gateway: "(<file stem> <line>): <message>" on standard
// output, only when the process was started with "-d".

extern int argdebug;

void gw_trace(const char* file, int line, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

#define GW_TRACE(...)                                \
  do {                                               \
    if (argdebug) gw_trace(__FILE__, __LINE__, __VA_ARGS__); \
  } while (0)

#endif
