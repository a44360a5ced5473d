// Login state, balance and talk time in skypes.conf.

#include <mutex>
#include <string>
#include <vector>

#include "Tools/AccountFormat.h"
#include "Tools/FileAccess.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"

namespace {

// The fcntl lock keeps other processes out, not other threads of this one;
// this keeps two threads of the gateway from overwriting each other's change.
std::mutex skypes_file_mutex;

struct SkypeEntry {
  S_Skype sk;
  bool online = false;
};

}  // namespace

int ReadXml::SaveSkype(S_Skype* sk, int type) {
  if (!sk || type < 1 || type > 3) return 0;
  std::lock_guard<std::mutex> guard(skypes_file_mutex);
  FileLines file;
  if (gw_load_lines(path("skypes.conf"), "SaveSkype", file) != 0) return -1;
  if (file.count == 0) return 0;

  std::vector<SkypeEntry> entries;
  SkypeEntry work;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    work.sk.name = section.name;
    for (const auto& [key, value] : section.keys) apply_skype_key(work.sk, key, value, &work.online);
    SkypeEntry stored = work;
    if (stored.sk.name == sk->name) {
      if (type == 1) stored.sk.totalouttime = sk->totalouttime;
      else if (type == 2) stored.sk.balance = sk->balance;
      else stored.online = sk->status;
    }
    entries.push_back(stored);
  }

  std::string text;
  for (const SkypeEntry& entry : entries) text += format_skype_block(entry.sk, entry.online);
  return rewrite_file(path("skypes.conf"), text, "SaveSkype", GW_RETRY_MS);
}
