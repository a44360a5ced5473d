#ifndef VELMORA_REGISTRY_PATHS_H
#define VELMORA_REGISTRY_PATHS_H

#include <string>

// Where the gateway's files live: /www/config/ unless VELMORA_CONFIG_DIR is
// set, and the Skype runtime program unless VELMORA_RUNTIME is set.

// The configuration directory, always ending in "/".
const std::string& gw_config_dir();

// gw_config_dir() + name, for example "/www/config/sip.conf".
std::string gw_config_path(const char* name);

// The program that is started for each Skype account.
const std::string& gw_runtime_program();

#endif
