// The yearly statistics file (static%Y.conf): one section per month with the
// counts and connected times of the calls in each direction.

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"
#include "Tools/ReadXmlTrace.h"
#include "Tools/RecordFiles.h"
#include "Velmora/registry/Clock.h"

namespace {

// `old` (hours:minutes:seconds) plus `duration` seconds, as "%02d:%02d:%02d".
std::string add_duration(const char* old, long duration) {
  int oh, om, os;
  ReadXml::FormatTime2(old, &oh, &om, &os);
  long s = os + duration % 60;
  long m = om + (duration % 3600) / 60 + s / 60;
  s %= 60;
  long h = oh + duration / 3600 + m / 60;
  m %= 60;
  char text[64];
  snprintf(text, sizeof text, "%02ld:%02ld:%02ld", h, m, s);
  return text;
}

std::string format_section(const S_Static& st) {
  std::string out;
  append_bounded(out, 256, "[%d]\nincs=%d\noutcs=%d\ningcs=%d\noutgcs=%d\ningts=%s\noutgts=%s\n",
                 static_cast<int>(st.id), static_cast<int>(st.incalls), static_cast<int>(st.outcalls),
                 static_cast<int>(st.incomingcalls), static_cast<int>(st.outgoingcalls),
                 one_line(st.incomingtimes).c_str(), one_line(st.outgoingtimes).c_str());
  return out;
}

void apply_static_key(S_Static& st, const std::string& key, const std::string& value) {
  if (key == "incs") st.incalls = ini_int(value);
  else if (key == "outcs") st.outcalls = ini_int(value);
  else if (key == "ingcs") st.incomingcalls = ini_int(value);
  else if (key == "outgcs") st.outgoingcalls = ini_int(value);
  else if (key == "ingts") st.incomingtimes = value;
  else if (key == "outgts") st.outgoingtimes = value;
}

// Empties the file and writes `text`; on failure puts `previous` back.
bool replace_contents(int fd, const std::string& text, const std::string& previous) {
  if (ftruncate(fd, 0) == 0 && gw_write_all(fd, text.data(), static_cast<int>(text.size()))) return true;
  if (ftruncate(fd, 0) != 0 ||
      (!previous.empty() && !gw_write_all(fd, previous.data(), static_cast<int>(previous.size())))) {
    RX_TRACE("SaveStatis: statistics file damaged\n\n");
  }
  return false;
}

}  // namespace

void ReadXml::FormatTime2(const char* text, int* h, int* m, int* s) {
  int hh = 0, mm = 0, ss = 0;
  if (text) {
    hh = atoi(text);
    const char* first = strchr(text, ':');
    if (first) {
      mm = atoi(first + 1);
      const char* second = strchr(first + 1, ':');
      if (second) ss = atoi(second + 1);
    }
  }
  if (h) *h = hh;
  if (m) *m = mm;
  if (s) *s = ss;
}

int ReadXml::openstaticfile(char* path, size_t size) {
  if (!record_file_name(m_dir, "static%Y.conf", path, size)) {
    RX_TRACE("openstaticfile: file name too long\n\n");
    return -1;
  }
  return open_record_file(path, "SaveStatis");
}

int ReadXml::SaveStatis(S_User& user, int result) {
  if (user.calltype != CALL_SKYPE_TO_SIP && user.calltype != CALL_SIP_TO_SKYPE) return 0;
  bool connected = result == RESULT_CONNECTED && user.startconversation != 0;
  long duration = connected ? static_cast<long>(user.end - user.startconversation) : 0;
  if (duration < 0) duration = 0;

  char name[512];
  // The rewrite goes through this same descriptor: the lock is held from the
  // read to the end of the rewrite, and a file that was read can always be
  // written back.
  LockedFile file(openstaticfile(name, sizeof name));
  if (!file.ok()) return -1;
  int month = gw_localtime().tm_mon + 1;

  std::string text;
  if (gw_read_whole(file.fd(), "SaveStatis", text) != 0) return -1;
  std::map<int, S_Static> months;
  if (!text.empty()) {
    FileLines lines;
    if (gw_getline(&lines.lines, &lines.count, text.data(), static_cast<int>(text.size())) != 0) return -1;
    S_Static work;  // incremental, like every section record
    for (const IniSection& section : ini_sections(lines.lines, lines.count)) {
      for (const auto& [key, value] : section.keys) apply_static_key(work, key, value);
      work.id = ini_int(section.name);
      months.emplace(work.id, work);
    }
  }

  auto it = months.find(month);
  if (it == months.end()) {
    S_Static fresh;
    fresh.id = month;
    fresh.incomingtimes = "0";
    fresh.outgoingtimes = "0";
    it = months.emplace(month, fresh).first;
  }
  S_Static& st = it->second;
  if (user.calltype == CALL_SKYPE_TO_SIP) {
    ++st.incalls;
    ++st.incomingcalls;
    if (connected) st.incomingtimes = add_duration(st.incomingtimes.c_str(), duration);
  } else {
    ++st.outcalls;
    ++st.outgoingcalls;
    if (connected) st.outgoingtimes = add_duration(st.outgoingtimes.c_str(), duration);
  }

  std::string out;
  for (const auto& entry : months) out += format_section(entry.second);
  return replace_contents(file.fd(), out, text) ? 0 : -1;
}
