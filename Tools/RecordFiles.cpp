#include "Tools/RecordFiles.h"

#include <cstdio>
#include <cstring>

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Velmora/registry/Clock.h"

bool record_file_name(const std::string& dir, const char* name_format, char* out, size_t size) {
  if (!out || size == 0) return false;
  struct tm now = gw_localtime();
  char name[64];
  if (strftime(name, sizeof name, name_format, &now) == 0) return false;
  int n = snprintf(out, size, "%s%s", dir.c_str(), name);
  return n > 0 && static_cast<size_t>(n) < size;
}

int open_record_file(const char* path, const char* who) {
  // Created without truncation: should the web front end create the file
  // between the check and the open, nothing of it is lost.
  if (!gw_file_exists(path)) return gw_fopen(path, GW_APPEND, "w");
  return gw_fopen_retry(path, GW_APPEND, "w", who);
}

std::string record_time(time_t when) {
  struct tm local;
  if (!localtime_r(&when, &local)) return std::string();
  char text[32];
  size_t n = strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, n);
}

bool safe_account_dir(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}
