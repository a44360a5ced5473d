#ifndef VELMORA_TOOLS_INIFORMAT_H
#define VELMORA_TOOLS_INIFORMAT_H

// The INI-like text format of the gateway's files: "[name]" opens a section,
// "key=value" lines follow. A value ends before the first byte that is a
// blank, a control character or a byte of 0x80 or more.

#include <string>
#include <utility>
#include <vector>

struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;  // in file order
};

// True when `line` opens a section; `name` gets the text between the first
// "[" and the first "]" after it.
bool ini_section_line(const char* line, std::string& name);

// True for a key line (no "[", an "="): key = text before the first "=",
// value = text after it up to the first byte <= 0x20 as a signed char.
bool ini_key_line(const char* line, std::string& key, std::string& value);

// The sections of a split file in file order; key lines before the first
// section and other lines are dropped.
std::vector<IniSection> ini_sections(char** lines, int count);

// atoi over a std::string.
int ini_int(const std::string& value);

// `text` up to its first CR or LF: a value written into a record file must
// not start a line of its own.
std::string one_line(const std::string& text);

// Formats into a buffer of `size` bytes and appends the result, cut at
// size - 1 bytes, to `out`.
void append_bounded(std::string& out, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

#endif
