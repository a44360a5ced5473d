#include "VoiceHost/sid/types/SEBinary.h"

#include <cstdlib>
#include <cstring>

SEBinary::SEBinary(SEBinary&& other) noexcept : buffer(other.buffer), len(other.len), cap(other.cap)
{
  other.buffer = nullptr;
  other.len = other.cap = 0;
}

SEBinary::~SEBinary() { free(buffer); }

SEBinary& SEBinary::operator=(const SEBinary& other)
{
  if (this != &other) set(other.buffer, static_cast<unsigned>(other.len));
  return *this;
}

SEBinary& SEBinary::operator=(SEBinary&& other) noexcept
{
  if (this != &other) {
    free(buffer);
    buffer = other.buffer;
    len = other.len;
    cap = other.cap;
    other.buffer = nullptr;
    other.len = other.cap = 0;
  }
  return *this;
}

void SEBinary::resize(size_t n)
{
  if (n == len) return;
  if (n == 0) {
    free(buffer);
    buffer = nullptr;
    len = cap = 0;
    return;
  }
  if (n > cap) {
    size_t grown = cap * 2 > n ? cap * 2 : n;
    char* p = static_cast<char*>(realloc(buffer, grown));
    if (!p) abort();
    buffer = p;
    cap = grown;
  }
  len = n;
}

void SEBinary::set(const char* bytes, unsigned n)
{
  if (bytes == buffer && n == len) return;
  resize(n);
  if (n && bytes) memmove(buffer, bytes, n);
}

void SEBinary::set_at_offset(size_t offset, const char* bytes, unsigned n)
{
  if (!bytes || n == 0 || bytes == buffer) return;
  if (len < offset + n) resize(offset + n);
  memcpy(buffer + offset, bytes, n);
}

bool SEBinary::operator==(const SEBinary& other) const
{
  return len == other.len && (len == 0 || memcmp(buffer, other.buffer, len) == 0);
}
