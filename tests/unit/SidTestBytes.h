// Byte strings written as hex for the protocol tests.
#ifndef TESTS_UNIT_SIDTESTBYTES_H
#define TESTS_UNIT_SIDTESTBYTES_H

#include <cstdio>
#include <cstdlib>
#include <string>

namespace SidTest {

// "5A 52 00" -> the three bytes; spaces are ignored.
inline std::string hex(const char* text)
{
  std::string out;
  std::string digits;
  for (const char* p = text; *p; ++p) {
    if (*p == ' ') continue;
    digits += *p;
    if (digits.size() == 2) {
      out += static_cast<char>(strtoul(digits.c_str(), nullptr, 16));
      digits.clear();
    }
  }
  return out;
}

inline std::string to_hex(const std::string& bytes)
{
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", c);
    out += buf;
  }
  return out;
}

}  // namespace SidTest

#endif
