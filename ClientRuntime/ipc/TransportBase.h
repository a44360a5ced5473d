#ifndef CLIENTRUNTIME_IPC_TRANSPORTBASE_H
#define CLIENTRUNTIME_IPC_TRANSPORTBASE_H

// The transport interface the binary protocol reads and writes through.
#include "VoiceHost/sid/protocol/TransportInterface.h"

#endif
