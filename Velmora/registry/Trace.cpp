#include "Velmora/registry/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int argdebug = 0;

namespace {

// "/x/y/ReadXml.cpp" -> "ReadXml"
void file_stem(const char* path, char* out, size_t size) {
  const char* base = strrchr(path, '/');
  base = base ? base + 1 : path;
  const char* dot = strrchr(base, '.');
  size_t len = dot ? static_cast<size_t>(dot - base) : strlen(base);
  if (len >= size) len = size - 1;
  memcpy(out, base, len);
  out[len] = '\0';
}

}  // namespace

void gw_trace(const char* file, int line, const char* fmt, ...) {
  char stem[64];
  file_stem(file, stem, sizeof stem);
  // One line is written with one call, so that lines of different threads do not mix.
  char text[2048];
  int used = snprintf(text, sizeof text, "(%s %d): ", stem, line);
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text + used, sizeof text - static_cast<size_t>(used), fmt, ap);
  va_end(ap);
  fputs(text, stdout);
  fflush(stdout);
}
