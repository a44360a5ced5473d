// The runtime process list (gwpid.txt) and the start counter (rb.txt).

#include <cstdlib>
#include <cstring>
#include <string>

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Tools/ReadXml.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// True when the line carries the argument pair "-s /name/" of an account's
// runtime as whole words; a name that is part of another never matches it.
bool line_has_account(const char* line, const std::string& name) {
  std::string want = "/" + name + "/";
  for (const char* p = strstr(line, "-s"); p; p = strstr(p + 1, "-s")) {
    if (p != line && !is_blank(p[-1])) continue;
    const char* q = p + 2;
    if (!is_blank(*q)) continue;
    while (is_blank(*q)) ++q;
    if (strncmp(q, want.c_str(), want.size()) != 0) continue;
    char after = q[want.size()];
    if (after == '\0' || is_blank(after) || after == '\r' || after == '\n') return true;
  }
  return false;
}

// The line of the grep that made the listing: its command (the eighth
// column of `ps -ef`) is grep.
bool is_grep_line(const char* line) {
  const char* p = line;
  for (int field = 0; field < 7; ++field) {
    while (is_blank(*p)) ++p;
    while (*p && !is_blank(*p)) ++p;
  }
  while (is_blank(*p)) ++p;
  const char* end = p;
  while (*end && !is_blank(*end) && *end != '\r' && *end != '\n') ++end;
  std::string command(p, end);
  size_t slash = command.rfind('/');
  if (slash != std::string::npos) command.erase(0, slash + 1);
  return command == "grep";
}

}  // namespace

int ReadXml::Readenginepid(S_Skype* sk) {
  if (!sk || sk->name.empty()) return -1;
  FileLines file;
  if (gw_load_lines(path("gwpid.txt"), "Readenginepid", file) != 0) return -1;
  for (int i = 0; i < file.count; ++i) {
    const char* line = file.lines[i];
    if (is_grep_line(line) || !line_has_account(line, sk->name)) continue;
    const char* p = line;
    while (*p && !is_blank(*p)) ++p;
    while (is_blank(*p)) ++p;
    int pid = (*p >= '0' && *p <= '9') ? atoi(p) : 0;
    return pid > 0 ? pid : -1;  // never 0: kill(0) would hit the gateway's own group
  }
  return -1;
}

int ReadXml::Gwreboot() {
  std::string name = path("rb.txt");
  int fd = gw_file_exists(name.c_str()) ? gw_fopen_retry(name.c_str(), GW_APPEND, "r", "Gwreboot")
                                        : gw_fopen(name.c_str(), GW_CREATE, "w");
  LockedFile file(fd);
  if (!file.ok()) return -1;
  unsigned char counter = 0;
  int size = gw_fsize(file.fd());
  if (size < 0) return -1;
  if ((size & 0xff) != 0) {
    if (!gw_read_exact(file.fd(), reinterpret_cast<char*>(&counter), 1, "Gwreboot")) return -1;
  }
  file.close();
  LockedFile out(gw_fopen_retry(name.c_str(), GW_REWRITE, "w", "Gwreboot"));
  if (!out.ok()) return -1;
  unsigned char next = static_cast<unsigned char>(counter + 1);
  if (!gw_write_all(out.fd(), reinterpret_cast<const char*>(&next), 1)) return -1;
  return 0;
}
