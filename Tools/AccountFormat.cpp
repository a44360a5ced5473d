#include "Tools/AccountFormat.h"

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Tools/IniFormat.h"

void apply_sip_key(S_User& user, const std::string& key, const std::string& value, bool* registered) {
  if (key == "disname") {
    user.dispname = value;
  } else if (key == "authname") {
    user.authname = value;
  } else if (key == "secret") {
    user.sippwd = value;
  } else if (key == "regsip") {
    user.regsip = value == "yes";
  } else if (key == "host") {
    user.hostip = value;
  } else if (key == "port") {
    user.hostport = ini_int(value);
  } else if (key == "codec") {
    if (value == "mulaw") user.codec = 0;
    else if (value == "alaw") user.codec = 8;
    else if (value == "G729") user.codec = 18;
  } else if (key == "status" && registered) {
    if (value == "registed") *registered = true;
    else if (value == "unregisted") *registered = false;
  }
}

std::string format_sip_section(const S_User& user, bool registered) {
  const char* codec = user.codec == 0 ? "codec=mulaw\n" : user.codec == 8 ? "codec=alaw\n" : "codec=G729\n";
  std::string out;
  append_bounded(out, 512, "[%s]\ndisname=%s\nauthname=%s\nsecret=%s\n%shost=%s\nport=%d\n%sstatus=%s\n",
                 one_line(user.sipuserid).c_str(), one_line(user.dispname).c_str(),
                 one_line(user.authname).c_str(), one_line(user.sippwd).c_str(),
                 user.regsip ? "regsip=yes\n" : "regsip=no\n", one_line(user.hostip).c_str(),
                 static_cast<int>(user.hostport), codec, registered ? "registed" : "unregisted");
  return out;
}

void apply_skype_key(S_Skype& sk, const std::string& key, const std::string& value, bool* online) {
  if (key == "pwd") {
    sk.pwd = value;
  } else if (key == "totaltime") {
    sk.totalouttime = ini_int(value);
  } else if (key == "balance") {
    sk.balance = static_cast<uint32_t>(ini_int(value));
  } else if (key == "status" && online) {
    *online = value == "online";
  }
}

std::string format_skype_block(const S_Skype& sk, bool online) {
  std::string out;
  append_bounded(out, 512, "[%s]\npwd=%s\ntotaltime=%d\nbalance=%d\nstatus=%s\n", one_line(sk.name).c_str(),
                 one_line(sk.pwd).c_str(), static_cast<int>(sk.totalouttime), static_cast<int>(sk.balance),
                 online ? "online" : "offline");
  return out;
}

int rewrite_file(const std::string& path, const std::string& text, const char* who, int delay_ms) {
  LockedFile file(gw_fopen_retry(path.c_str(), GW_REWRITE, "w", who, GW_OPEN_ATTEMPTS, delay_ms));
  if (!file.ok()) return -1;
  if (!text.empty() && !gw_write_all(file.fd(), text.data(), static_cast<int>(text.size()))) return -1;
  return 0;
}
