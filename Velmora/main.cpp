// Process entry: the two switches, the configuration loaded into the
// registry, the state files reset, one Skype runtime per account, then the
// gateway object, which runs for the life of the process.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "Tools/ReadXml.h"
#include "Velmora/RuntimeProcess.h"
#include "Velmora/SkypeAccounts.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

int main(int argc, char** argv) {
  if (argc == 2 && strncmp(argv[1], "-v", 2) == 0) {
    printf("RELEASE %s\n", "2013.07.12");
    return 1;
  }
  if (argc == 2) argdebug = strncmp(argv[1], "-d", 2) == 0 ? 1 : 0;

  if (!gw_clock_from_environment()) GW_TRACE("VELMORA_CLOCK not understood, using the system clock\n\n");
  gwconfig.maxchannels = gw_channel_count();

  // The file-access object and the gateway live until the process ends.
  static ReadXml files;
  rdxml = &files;

  rdxml->clearchanState();
  rdxml->Gwreboot();
  rdxml->Read(users);
  rdxml->clearsipregState();
  rdxml->ReadSkype(skypes);
  rdxml->ReadSkypeGroup(skypegroups);
  rdxml->ReadDialRoute(dialroutes);
  rdxml->ReadRoute(maproute);

  for (const auto& [id, account] : skypes) StartSkypeRuntime(account);

  static Velmora gateway;
  gateway.Begin();

  GW_TRACE("Velmora start!\n\n");
  RunAccountSupervision(&gateway);
}
