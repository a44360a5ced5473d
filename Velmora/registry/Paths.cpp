#include "Velmora/registry/Paths.h"

#include <cstdlib>

namespace {

std::string from_environment(const char* name, const char* fallback) {
  const char* value = getenv(name);
  return (value && *value) ? std::string(value) : std::string(fallback);
}

}  // namespace

const std::string& gw_config_dir() {
  static const std::string dir = [] {
    std::string d = from_environment("VELMORA_CONFIG_DIR", "/www/config/");
    if (d.back() != '/') d += '/';
    return d;
  }();
  return dir;
}

std::string gw_config_path(const char* name) { return gw_config_dir() + name; }

const std::string& gw_runtime_program() {
  static const std::string program =
      from_environment("VELMORA_RUNTIME", "/usr/bin/linux-x86-skypekit-voicertp-novideo");
  return program;
}
