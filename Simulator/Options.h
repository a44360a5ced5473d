#ifndef SIMULATOR_OPTIONS_H
#define SIMULATOR_OPTIONS_H

#include <string>

namespace velsim {

// The command line a gateway gives a runtime: "-p PORT -s /NAME/".
struct Options {
  int port = 0;
  std::string account;  // NAME, without the slashes
};

// Parses argv; on failure returns false with a message in `error`.
bool parse_options(int argc, const char* const* argv, Options& out, std::string& error);

// Account names become file names in the simulator's directory and socket
// names: letters, digits and . , _ - + @ : only, 1 to 64 characters.
bool valid_account_name(const std::string& name);

}  // namespace velsim

#endif
