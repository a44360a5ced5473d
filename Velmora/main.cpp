#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

int main(int argc, char** argv) {
  if (argc == 2 && strncmp(argv[1], "-v", 2) == 0) {
    printf("RELEASE %s\n", "2013.07.12");
    return 1;
  }
  if (argc == 2) argdebug = strncmp(argv[1], "-d", 2) == 0 ? 1 : 0;

  gwconfig.maxchannels = gw_channel_count();

  static Velmora gateway;
  gateway.Begin();
  GW_TRACE("Velmora start!\n\n");
  for (;;) pause();
}
