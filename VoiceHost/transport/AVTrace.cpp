#include "VoiceHost/transport/AVTrace.h"

#include <cstdarg>
#include <cstdio>

namespace Sid {

namespace {

// One line is written with one call, so that lines of different threads do not mix.
void emit(const char* prefix_file, int line, const char* func, const char* fmt, va_list ap) {
  char text[1024];
  int used = 0;
  if (prefix_file) {
    used = snprintf(text, sizeof text, "%s:%d(%s): ", prefix_file, line, func);
    if (used < 0 || static_cast<size_t>(used) >= sizeof text) used = 0;
  }
  vsnprintf(text + used, sizeof text - static_cast<size_t>(used), fmt, ap);
  fputs(text, stdout);
  fflush(stdout);
}

}  // namespace

void av_trace(const char* file, int line, const char* func, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  emit(file, line, func, fmt, ap);
  va_end(ap);
}

void av_print(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  emit(nullptr, 0, nullptr, fmt, ap);
  va_end(ap);
}

}  // namespace Sid
