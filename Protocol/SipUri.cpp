#include "Protocol/SipUri.h"

#include <cstdio>
#include <cstring>

namespace {

bool is_alnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool sip_user_ok(const std::string& user) {
  if (user.empty()) return false;
  for (char c : user) {
    if (is_alnum(c)) continue;
    if (c != '\0' && strchr("-_.!~*'()+", c) != nullptr) continue;
    return false;
  }
  return true;
}

bool sip_host_ok(const std::string& host) {
  if (host.empty()) return false;
  for (char c : host) {
    if (is_alnum(c) || c == '-' || c == '.') continue;
    return false;
  }
  return true;
}

bool sip_make_uri(char (&out)[kSipUriSize], const std::string& user, const std::string& host, int port) {
  out[0] = '\0';
  if (!sip_user_ok(user) || !sip_host_ok(host)) return false;
  if (port != kNoPort && (port < 0 || port > 65535)) return false;
  int n = port == kNoPort ? snprintf(out, sizeof out, "sip:%s@%s", user.c_str(), host.c_str())
                          : snprintf(out, sizeof out, "sip:%s@%s:%d", user.c_str(), host.c_str(), port);
  if (n < 0 || static_cast<size_t>(n) >= sizeof out) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool sip_quote_display_name(const std::string& name, char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  size_t used = 0;
  auto put = [&](char c) {
    if (used + 1 >= size) return false;
    out[used++] = c;
    return true;
  };
  bool ok = put('"');
  for (char c : name) {
    if (!ok) break;
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      ok = false;
      break;
    }
    if (c == '"' || c == '\\') ok = put('\\');
    if (ok) ok = put(c);
  }
  if (ok) ok = put('"');
  if (!ok) {
    out[0] = '\0';
    return false;
  }
  out[used] = '\0';
  return true;
}
