#ifndef VELMORA_TOOLS_READXMLTRACE_H
#define VELMORA_TOOLS_READXMLTRACE_H

#include "Velmora/registry/Trace.h"

// The file readers and writers are one component, ReadXml, spread over
// several sources; their trace lines all carry its name.
#define RX_TRACE(...)                                           \
  do {                                                          \
    if (argdebug) gw_trace("ReadXml", __LINE__, __VA_ARGS__);   \
  } while (0)

#endif
