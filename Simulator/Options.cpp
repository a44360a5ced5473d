#include "Simulator/Options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace velsim {

bool valid_account_name(const std::string& name) {
  if (name.empty() || name.size() > 64 || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (!isalnum(c) && !strchr(".,_-+@:", c)) return false;
  return true;
}

bool parse_options(int argc, const char* const* argv, Options& out, std::string& error) {
  bool have_port = false, have_name = false;
  for (int n = 1; n < argc; ++n) {
    const char* arg = argv[n];
    if ((strcmp(arg, "-p") == 0 || strcmp(arg, "-s") == 0) && n + 1 >= argc) {
      error = std::string("missing value after ") + arg;
      return false;
    }
    if (strcmp(arg, "-p") == 0) {
      const char* v = argv[++n];
      char* end = nullptr;
      long port = strtol(v, &end, 10);
      if (!*v || *end || port < 1 || port > 65535) {
        error = std::string("bad port: ") + v;
        return false;
      }
      out.port = static_cast<int>(port);
      have_port = true;
    } else if (strcmp(arg, "-s") == 0) {
      std::string v = argv[++n];
      if (v.size() < 3 || v.front() != '/' || v.back() != '/') {
        error = "the account must be given as /NAME/: " + v;
        return false;
      }
      out.account = v.substr(1, v.size() - 2);
      if (!valid_account_name(out.account)) {
        error = "bad account name: " + out.account;
        return false;
      }
      have_name = true;
    } else {
      error = std::string("unknown argument: ") + arg;
      return false;
    }
  }
  if (!have_port || !have_name) {
    error = "usage: velmora-runtime-sim -p PORT -s /NAME/";
    return false;
  }
  return true;
}

}  // namespace velsim
