// Each account's numbers called today (<account>/calllogs.xml), one per line.

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Tools/ReadXml.h"
#include "Tools/ReadXmlTrace.h"
#include "Tools/RecordFiles.h"

namespace {

constexpr size_t LINE_MAX_BYTES = 256;  // one number and its line break

// Creates the account's directory; false when the name cannot be one.
bool account_dir(const std::string& base, const std::string& name) {
  if (!safe_account_dir(name)) {
    RX_TRACE("calllogs: refused account name\n\n");
    return false;
  }
  std::string dir = base + name;
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
  return true;
}

void load_numbers(const std::string& text, CallLogs& table) {
  size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  size_t pos = 0;
  while (pos < end) {
    size_t stop = pos;
    while (stop < end && text[stop] != '\r' && text[stop] != '\n') ++stop;
    size_t len = stop - pos;
    bool broken = stop < end;  // followed by a line break
    size_t min = broken ? 5 : 6;
    if (len >= min && len <= 509) table.insert(text.substr(pos, len), 0);
    pos = broken ? stop + 1 : stop;
  }
}

}  // namespace

int ReadXml::SaveSkypeCalllogs(S_Skype* sk) {
  if (!sk || !account_dir(m_dir, sk->name)) return -1;
  std::string file_name = m_dir + sk->name + "/calllogs.xml";
  int fd = gw_file_exists(file_name.c_str()) ? gw_fopen_retry(file_name.c_str(), GW_REWRITE, "w", "SaveSkypeCalllogs")
                                             : gw_fopen(file_name.c_str(), GW_CREATE, "w");
  LockedFile file(fd);
  if (!file.ok()) return -1;
  std::string text;
  for (const std::string& number : sk->calllogs.numbers()) {
    text.append(number, 0, LINE_MAX_BYTES - 2);
    text += '\n';
  }
  if (!text.empty() && !gw_write_all(file.fd(), text.data(), static_cast<int>(text.size()))) return -1;
  return 0;
}

int ReadXml::ReadSkypeCalllogs(std::map<int, S_Skype>& table) {
  for (auto& [id, sk] : table) {
    if (sk.name.empty() || !account_dir(m_dir, sk.name)) continue;
    std::string file_name = m_dir + sk.name + "/calllogs.xml";
    if (!gw_file_exists(file_name.c_str())) {
      int fd = gw_fopen(file_name.c_str(), GW_CREATE, "w");
      if (fd > 0) gw_fclose(fd);
      continue;
    }
    LockedFile file(gw_fopen_retry(file_name.c_str(), GW_APPEND, "r", "ReadSkypeCalllogs"));
    if (!file.ok()) continue;
    std::string text;
    if (gw_read_whole(file.fd(), "ReadSkypeCalllogs", text) != 0) continue;
    file.close();
    load_numbers(text, sk.calllogs);
  }
  return 0;
}
