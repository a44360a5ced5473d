// The monthly call record file (cdr%Y-%m.conf): one record appended per
// finished call, numbered on from the last record in the file.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"
#include "Tools/ReadXmlTrace.h"
#include "Tools/RecordFiles.h"

namespace {

constexpr int RECORD_MAX = 512;  // a record is cut at 511 bytes

// The number of the last record header ("[n]" at the start of a line) in
// the file's tail, 0 when there is none.
int last_record_number(std::string tail) {
  // A NUL byte cannot be part of a header; as a line break it keeps the
  // rest of the tail readable instead of blocking every later record.
  std::replace(tail.begin(), tail.end(), '\0', '\n');
  char** lines = nullptr;
  int count = 0;
  if (gw_getline(&lines, &count, tail.data(), static_cast<int>(tail.size())) != 0) return -1;
  int last = 0;
  for (int i = count - 1; i >= 0; --i) {
    const char* line = lines[i];
    if (line[0] != '[' || line[1] < '0' || line[1] > '9') continue;
    const char* p = line + 1;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p != ']') continue;
    last = atoi(line + 1);
    break;
  }
  gw_free_strarray(lines, count);
  return last;
}

}  // namespace

int ReadXml::opencdrfile(char* path, size_t size) {
  if (!record_file_name(m_dir, "cdr%Y-%m.conf", path, size)) {
    RX_TRACE("opencdrfile: file name too long\n\n");
    return -1;
  }
  return open_record_file(path, "saveCDR");
}

int ReadXml::saveCDR(S_User& user) {
  char name[512];
  LockedFile file(opencdrfile(name, sizeof name));
  if (!file.ok()) return -1;
  int size = gw_fsize(file.fd());
  if (size < 0) return -1;

  int last = 0;
  if (size > 0) {
    int n = std::min(RECORD_MAX, size);
    if (lseek(file.fd(), -static_cast<off_t>(n), SEEK_END) < 0) return -1;
    std::string tail(static_cast<size_t>(n), '\0');
    if (!gw_read_exact(file.fd(), tail.data(), n, "saveCDR")) return -1;
    last = last_record_number(tail);
    if (last < 0) return -1;
  }

  time_t start = user.callresult == RESULT_CONNECTED ? user.startconversation : user.start;
  std::string record;
  append_bounded(record, RECORD_MAX, "[%d]\nct=%d\nrs=%d\nspr=%s\nsip=%s\npr=%s\ns=%s\ne=%s\nsk=%s\n", last + 1,
                 static_cast<int>(user.calltype), static_cast<int>(user.callresult),
                 one_line(user.skypepeer).c_str(), one_line(user.sipuserid).c_str(), one_line(user.peer).c_str(),
                 record_time(start).c_str(), record_time(user.end).c_str(), one_line(user.skypeuser).c_str());
  if (!gw_write_all(file.fd(), record.data(), static_cast<int>(record.size()))) {
    // Take back a partial record, so that the retry writes it exactly once.
    if (ftruncate(file.fd(), size) != 0) RX_TRACE("saveCDR: cannot take back a partial record\n\n");
    return -1;
  }
  return 0;
}
