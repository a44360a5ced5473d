#include "Tools/IniFormat.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

bool ini_section_line(const char* line, std::string& name) {
  const char* open = strchr(line, '[');
  if (!open) return false;
  const char* close = strchr(open + 1, ']');
  if (!close) return false;
  name.assign(open + 1, close);
  return true;
}

bool ini_key_line(const char* line, std::string& key, std::string& value) {
  if (strchr(line, '[')) return false;
  const char* eq = strchr(line, '=');
  if (!eq) return false;
  key.assign(line, eq);
  const char* v = eq + 1;
  const char* end = v;
  while (static_cast<signed char>(*end) > 0x20) ++end;
  value.assign(v, end);
  return true;
}

std::vector<IniSection> ini_sections(char** lines, int count) {
  std::vector<IniSection> sections;
  std::string name, key, value;
  for (int i = 0; i < count; ++i) {
    if (!lines || !lines[i]) continue;
    if (ini_section_line(lines[i], name)) {
      sections.push_back(IniSection{name, {}});
    } else if (!sections.empty() && ini_key_line(lines[i], key, value)) {
      sections.back().keys.emplace_back(key, value);
    }
  }
  return sections;
}

int ini_int(const std::string& value) { return atoi(value.c_str()); }

std::string one_line(const std::string& text) {
  size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

void append_bounded(std::string& out, size_t size, const char* fmt, ...) {
  std::vector<char> buf(size);
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf.data(), size, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  size_t len = static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
  out.append(buf.data(), len);
}
