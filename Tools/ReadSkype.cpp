// The Skype account file (skypes.conf): loaded, then rewritten with every
// account offline.

#include <string>

#include "Tools/AccountFormat.h"
#include "Tools/FileAccess.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"
#include "Tools/ReadXmlTrace.h"

int ReadXml::ReadSkype(std::map<int, S_Skype>& table) {
  FileLines file;
  if (gw_load_lines(path("skypes.conf"), "ReadSkype", file) != 0) return -1;
  if (file.count == 0) return 0;

  S_Skype work;
  bool online = false;  // parsed, but every account starts logged out
  int ordinal = 0;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    work.name = section.name;
    for (const auto& [key, value] : section.keys) apply_skype_key(work, key, value, &online);
    work.id = ordinal++;
    work.skype = nullptr;
    work.arg = nullptr;
    work.status = false;
    work.logouttime = 0;
    work.loginedtime = 0;
    work.precalltime = 0;
    table.emplace(work.id, work);
  }

  std::string text;
  for (const auto& [id, sk] : table) text += format_skype_block(sk, false);
  return rewrite_file(path("skypes.conf"), text, "ReadSkype", GW_RETRY_MS);
}
