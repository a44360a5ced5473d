// The SIP account file (sip.conf) and the general SIP settings (sip_general.conf).

#include <string>

#include "Tools/AccountFormat.h"
#include "Tools/FileAccess.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"
#include "Tools/ReadXmlTrace.h"

namespace {

void apply_general_key(const std::string& key, const std::string& value) {
  if (key == "localip") {
    gwconfig.localip = value;
  } else if (key == "port") {
    gwconfig.localport = ini_int(value);
  } else if (key == "DtmfLength") {
    gwconfig.dtmflen = ini_int(value) * 8;
  } else if (key == "RegSipInterval") {
    gwconfig.regsipinterval = ini_int(value);
  } else if (key == "codec") {
    if (value == "mulaw") gwconfig.rtpplaytype = 0;
    else if (value == "alaw") gwconfig.rtpplaytype = 8;
    else if (value == "G729") gwconfig.rtpplaytype = 18;
    bool g729 = gwconfig.rtpplaytype == 18;
    if (gwconfig.language == "English") gwconfig.lang_len = g729 ? 3600 : 28960;
    else gwconfig.lang_len = g729 ? 5200 : 41760;
  } else if (key == "language") {
    gwconfig.language = value;
  }
}

int read_general(const std::string& path) {
  FileLines file;
  if (gw_load_lines(path, "Read", file) != 0) return -1;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    for (const auto& [key, value] : section.keys) apply_general_key(key, value);
  }
  return 0;
}

}  // namespace

int ReadXml::Read(std::map<std::string, S_User>& table) {
  gwconfig.countrycallingcodes = "+";
  FileLines file;
  if (gw_load_lines(path("sip.conf"), "Read", file) != 0) return -1;
  m_sipconf_loaded = true;
  if (file.count == 0) return 0;

  S_User work;  // not cleared between sections: an omitted key keeps the previous value
  int ordinal = 0;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    work.sipuserid = section.name;
    for (const auto& [key, value] : section.keys) apply_sip_key(work, key, value);
    work.conversationid = 0;
    work.regstatus = false;
    work.iscasual = false;
    work.status = CHAN_IDLE;
    work.calltype = CALL_NONE;
    work.flagendwarning = false;
    work.userid = ++ordinal;
    table.emplace(std::to_string(work.userid), work);
    RX_TRACE("user.size %d %d\n\n", static_cast<int>(table.size()), work.userid);
  }

  // The accounts are loaded whatever becomes of the general settings; a
  // general settings file that cannot be read leaves them unset.
  if (read_general(path("sip_general.conf")) != 0) RX_TRACE("Read sip_general.conf failed\n\n");
  // Defaults the rest of the gateway depends on, set even when the general
  // settings could not be read.
  gwconfig.defaultaudioport = 10000;
  gwconfig.warninginterval = 20;
  gwconfig.warningtimes = 3;
  return 0;
}
