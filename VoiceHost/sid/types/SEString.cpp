#include "VoiceHost/sid/types/SEString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const char k_empty[] = "";

// Capacity for a text of len bytes: (len + 1) rounded down to 16, plus 16.
size_t capacity_for(size_t len) { return ((len + 1) & ~static_cast<size_t>(15)) + 16; }

bool is_escaped(char c) { return c == ',' || c == '"' || c == '\\'; }

}  // namespace

SEString::Data* SEString::make(const char* text, size_t len, size_t capacity, bool bin)
{
  if (capacity < len + 1) capacity = len + 1;
  auto* data = new Data;
  data->str = static_cast<char*>(malloc(capacity));
  if (!data->str) abort();
  data->real_size = static_cast<unsigned>(capacity);
  data->isBin = bin;
  if (len) memcpy(data->str, text, len);
  data->str[len] = '\0';
  return data;
}

void SEString::release()
{
  if (!d) return;
  if (d->ref.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    free(d->str);
    delete d;
  }
  d = nullptr;
}

void SEString::detach()
{
  if (!d || d->ref.load(std::memory_order_acquire) == 1) return;
  size_t len = strlen(d->str);
  Data* copy = make(d->str, len, capacity_for(len), d->isBin);
  release();
  d = copy;
}

SEString::SEString(const char* text)
{
  if (text) {
    size_t len = strlen(text);
    d = make(text, len, capacity_for(len), false);
  }
}

SEString::SEString(unsigned n)
{
  d = make(nullptr, 0, static_cast<size_t>(n) + 1, false);
}

SEString::SEString(const SEString& other) : d(other.d)
{
  if (d) d->ref.fetch_add(1, std::memory_order_relaxed);
}

SEString& SEString::operator=(const char* text)
{
  SEString fresh(text);
  *this = std::move(fresh);
  return *this;
}

SEString& SEString::operator=(const SEString& other)
{
  if (other.d == d) return *this;
  Data* old = d;
  d = other.d;
  if (d) d->ref.fetch_add(1, std::memory_order_relaxed);
  SEString previous;
  previous.d = old;  // released on leaving
  return *this;
}

SEString& SEString::operator=(SEString&& other) noexcept
{
  if (this != &other) {
    release();
    d = other.d;
    other.d = nullptr;
  }
  return *this;
}

size_t SEString::length() const { return d ? strlen(d->str) : 0; }

const char* SEString::data() const { return d ? d->str : k_empty; }

unsigned SEString::capacity() const { return d ? d->real_size : 0; }

bool SEString::equals(const SEString& other) const
{
  if (!d || !other.d) return !d && !other.d;
  return d == other.d || strcmp(d->str, other.d->str) == 0;
}

bool SEString::equals(const char* text) const
{
  if (!d || !text) return !d && !text;
  return strcmp(d->str, text) == 0;
}

void SEString::append(const char* text, size_t add)
{
  detach();
  size_t len = strlen(d->str);
  size_t needed = len + add + 1;
  if (d->real_size < needed) {
    size_t capacity = (needed & ~static_cast<size_t>(15)) + 16;
    char* grown = static_cast<char*>(realloc(d->str, capacity));
    if (!grown) abort();
    d->str = grown;
    d->real_size = static_cast<unsigned>(capacity);
  }
  memcpy(d->str + len, text, add);
  d->str[len + add] = '\0';
}

SEString& SEString::operator+=(const char* text)
{
  if (!text) return *this;
  if (!d) return *this = text;
  append(text, strlen(text));
  return *this;
}

SEString& SEString::operator+=(const SEString& other)
{
  if (other.isNull()) return *this;
  if (!d) return *this = other;
  SEString keep(other);  // other may be this very string
  append(keep.data(), keep.length());
  return *this;
}

SEString operator+(const SEString& a, const SEString& b)
{
  SEString result(a);
  result += b;
  return result;
}

SEString operator+(const SEString& a, const char* b)
{
  SEString result(a);
  result += b;
  return result;
}

SEString& SEString::Format(const char* fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  vFormat(fmt, ap);
  va_end(ap);
  return *this;
}

SEString& SEString::vFormat(const char* fmt, va_list ap)
{
  char buf[1024];
  va_list again;
  va_copy(again, ap);
  int n = vsnprintf(buf, sizeof buf, fmt, ap);
  if (n < 0) {
    va_end(again);
    return *this = "";
  }
  if (static_cast<size_t>(n) < sizeof buf) {
    va_end(again);
    return *this = buf;
  }
  auto big = std::make_unique<char[]>(static_cast<size_t>(n) + 1);
  vsnprintf(big.get(), static_cast<size_t>(n) + 1, fmt, again);
  va_end(again);
  return *this = big.get();
}

SEString SEString::from(int value) { return SEString().Format("%d", value); }

SEString SEString::from(unsigned value, int base)
{
  return base == 16 ? SEString().Format("%X", value) : SEString().Format("%u", value);
}

SEString SEString::from(unsigned long long value) { return SEString().Format("%llu", value); }

SEString SEString::from(bool value) { return SEString(value ? "1" : "0"); }

SEString SEString::from(unsigned char value)
{
  char text[2] = {static_cast<char>(value), '\0'};
  return SEString(text);
}

SEString SEString::from(const char* bytes, unsigned n)
{
  SEString result("");
  char* out = result.raw_buffer(n * 2);
  size_t len = 0;
  for (unsigned i = 0; i < n; ++i) {
    char c = bytes[i];
    if (c == '\0') {
      out[len++] = '\\';
      out[len++] = '0';
    } else {
      if (is_escaped(c)) out[len++] = '\\';
      out[len++] = c;
    }
  }
  out[len] = '\0';
  result.markAsBinary();
  return result;
}

int SEString::toInt() const { return d ? atoi(d->str) : 0; }

unsigned SEString::toUInt() const { return d ? static_cast<unsigned>(strtoul(d->str, nullptr, 10)) : 0; }

unsigned long long SEString::toUInt64() const { return d ? strtoull(d->str, nullptr, 10) : 0; }

bool SEString::toBool() const { return d && toInt() != 0; }

SEString SEString::substr(int from, int to) const
{
  if (!d) return SEString();
  int len = static_cast<int>(length());
  if (len == 0) return SEString("");
  if (from < 0) from = 0;
  if (to >= len) to = len - 1;
  if (to < 0) to += len - 1;
  if (to < from) {
    int t = to;
    to = from;
    from = t;
  }
  if (from < 0) from = 0;
  if (from >= len) from = len - 1;
  if (to >= len) to = len - 1;
  SEString result("");
  size_t n = static_cast<size_t>(to - from + 1);
  char* out = result.raw_buffer(static_cast<unsigned>(n));
  memcpy(out, d->str + from, n);
  out[n] = '\0';
  return result;
}

SEString SEString::right(unsigned n) const
{
  if (!d) return SEString();
  size_t len = length();
  if (n > len) n = static_cast<unsigned>(len);
  return SEString(d->str + (len - n));
}

bool SEString::startWith(const SEString& prefix) const
{
  if (!d) return false;
  size_t n = prefix.length();
  if (n == 0) return true;
  return strncmp(d->str, prefix.data(), n) == 0;
}

SEString SEString::trim(const SEString& prefix) const
{
  if (prefix.length() && startWith(prefix)) return SEString(d->str + prefix.length());
  return *this;
}

int SEString::find(int start, char c) const
{
  if (!d) return -1;
  int len = static_cast<int>(length());
  if (start < 0) start = 0;
  for (int i = start; i < len; ++i) {
    if (d->str[i] == c) return i;
  }
  return -1;
}

unsigned SEString::hash(unsigned n) const
{
  if (!d || n == 0) return 0;
  unsigned h = 0;
  for (const char* p = d->str; *p; ++p) {
    h = (h << 4) + static_cast<unsigned>(static_cast<int>(static_cast<signed char>(*p)));
    unsigned g = h & 0xF0000000u;
    if (g) h ^= g >> 24;
    h &= ~g;
  }
  return h % n;
}

SEString SEString::escape() const
{
  if (!d) return SEString();
  size_t len = length();
  SEString result("");
  char* out = result.raw_buffer(static_cast<unsigned>(len * 2));
  size_t k = 0;
  for (size_t i = 0; i < len; ++i) {
    if (is_escaped(d->str[i])) out[k++] = '\\';
    out[k++] = d->str[i];
  }
  out[k] = '\0';
  return result;
}

SEString SEString::unescape() const
{
  if (!d) return SEString();
  size_t len = length();
  SEString result("");
  char* out = result.raw_buffer(static_cast<unsigned>(len));
  size_t k = 0;
  for (size_t i = 0; i < len; ++i) {
    if (d->str[i] == '\\') {
      if (++i >= len) break;
    }
    out[k++] = d->str[i];
  }
  out[k] = '\0';
  return result;
}

SEString SEString::keyValue(const SEString& key, const SEString& value)
{
  if (key.isNull()) return SEString();
  SEString result(key);
  result += "=\"";
  result += value.data();
  result += "\" ";
  return result;
}

SEString SEString::deepCopy() const
{
  if (!d) return SEString();
  size_t len = length();
  SEString result;
  result.d = make(d->str, len, capacity_for(len), d->isBin);
  return result;
}

void SEString::markAsBinary()
{
  if (!d) return;
  detach();
  d->isBin = true;
}

bool SEString::isBinary() const { return d && d->isBin; }

unsigned SEString::toBinary(char* out) const { return toBinary(out, static_cast<unsigned>(length())); }

unsigned SEString::toBinary(char* out, unsigned capacity) const
{
  if (!d) return 0;
  unsigned n = 0;
  for (const char* p = d->str; *p && n < capacity; ++p) {
    if (*p == '\\') {
      if (!*++p) break;
      out[n++] = *p == '0' ? '\0' : *p;
    } else {
      out[n++] = *p;
    }
  }
  return n;
}

SEString SEString::getHexRepresentation() const
{
  if (!isBinary()) return SEString();
  size_t len = length();
  auto bytes = std::make_unique<char[]>(len + 1);
  unsigned n = toBinary(bytes.get(), static_cast<unsigned>(len));
  static const char digits[] = "0123456789abcdef";
  SEString result("");
  char* out = result.raw_buffer(n * 2);
  for (unsigned i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    out[2 * i] = digits[c >> 4];
    out[2 * i + 1] = digits[c & 15];
  }
  out[2 * n] = '\0';
  return result;
}

char* SEString::raw_buffer(unsigned capacity)
{
  size_t needed = static_cast<size_t>(capacity) + 1;
  if (!d) {
    d = make(nullptr, 0, needed, false);
    return d->str;
  }
  if (d->ref.load(std::memory_order_acquire) != 1) {
    size_t len = strlen(d->str);
    Data* copy = make(d->str, len, needed > len + 1 ? needed : len + 1, d->isBin);
    release();
    d = copy;
  }
  if (d->real_size < needed) {
    char* grown = static_cast<char*>(realloc(d->str, needed));
    if (!grown) abort();
    d->str = grown;
    d->real_size = static_cast<unsigned>(needed);
  }
  return d->str;
}

char* SEString::prepare(unsigned capacity)
{
  size_t needed = static_cast<size_t>(capacity) + 1;
  if (d && d->ref.load(std::memory_order_acquire) == 1 && d->real_size >= needed) {
    d->str[0] = '\0';
    d->isBin = false;
    return d->str;
  }
  release();
  d = make(nullptr, 0, needed, false);
  return d->str;
}
