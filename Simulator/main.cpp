// velmora-runtime-sim: the stand-in for the Skype runtime process of one
// account, started by the gateway as "-p PORT -s /NAME/".

#include <csignal>
#include <cstdio>
#include <string>

#include "Simulator/Options.h"
#include "Simulator/Simulator.h"

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  velsim::Options options;
  std::string error;
  if (!velsim::parse_options(argc, argv, options, error)) {
    fprintf(stderr, "velmora-runtime-sim: %s\n", error.c_str());
    return 2;
  }
  velsim::Simulator sim(options);
  return sim.run();
}
