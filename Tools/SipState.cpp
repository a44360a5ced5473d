// Registration state in sip.conf: reset at start-up, set when an account's
// registration succeeds.

#include <string>
#include <vector>

#include "Tools/AccountFormat.h"
#include "Tools/FileAccess.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"

namespace {

// The two rewrites of the SIP account file wait longer between attempts.
constexpr int SIPCONF_RETRY_MS = 100;

struct SipEntry {
  S_User user;
  bool registered = false;
};

}  // namespace

int ReadXml::clearsipregState(const std::map<std::string, S_User>& table) {
  // Without a successful Read the table says nothing about the file's
  // accounts: rewriting from it would erase them.
  if (!m_sipconf_loaded) return -1;
  std::string text;
  for (size_t i = 0; i <= table.size(); ++i) {
    auto it = table.find(std::to_string(i));
    if (it != table.end()) text += format_sip_section(it->second, false);
  }
  return rewrite_file(path("sip.conf"), text, "clearsipregState", SIPCONF_RETRY_MS);
}

int ReadXml::savesipregState(S_User& user) {
  FileLines file;
  if (gw_load_lines(path("sip.conf"), "savesipregState", file) != 0) return -1;
  if (file.count == 0) return 0;

  std::vector<SipEntry> entries;  // in file order
  SipEntry work;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    work.user.sipuserid = section.name;
    for (const auto& [key, value] : section.keys) apply_sip_key(work.user, key, value, &work.registered);
    entries.push_back(work);
  }

  std::string text;
  for (SipEntry& entry : entries) {
    S_User& e = entry.user;
    if (e.sipuserid == user.sipuserid && e.sippwd == user.sippwd && e.dispname == user.dispname &&
        e.authname == user.authname) {
      e.regsip = user.regsip;
      text += format_sip_section(e, true);
    } else {
      // Another account, or this one with credentials changed since the
      // registration was sent: as read.
      text += format_sip_section(e, entry.registered);
    }
  }
  return rewrite_file(path("sip.conf"), text, "savesipregState", SIPCONF_RETRY_MS);
}
