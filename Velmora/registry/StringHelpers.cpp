#include <cstring>

#include "Velmora/registry/Registry.h"

const char* find_char(const char* source, const char* chars, int len) {
  if (!source || !chars || len <= 0) return nullptr;
  size_t want = static_cast<size_t>(len);
  if (strnlen(chars, want) < want) return nullptr;
  for (const char* p = source; *p; ++p) {
    if (strncmp(p, chars, want) == 0) return p + want;
  }
  return nullptr;
}

namespace {
char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

int cmpstr(const char* s, const char* d, int len) {
  if (!s || !d || len < 0) return 0;
  size_t want = static_cast<size_t>(len);
  if (strlen(s) != want || strnlen(d, want) < want) return 0;
  for (size_t i = 0; i < want; ++i) {
    if (fold(s[i]) != fold(d[i])) return 0;
  }
  return 1;
}

int check_skypeaccount(const char* source, int len) {
  if (!source) return 0;
  for (int i = 0; i <= len && source[i]; ++i) {
    if (source[i] < '0' || source[i] > '9') return 1;
  }
  return 0;
}
