// The record writer thread.

#include "Tools/ReadXml.h"
#include "Velmora/RecordWriter.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

void* Velmora::cdr_thread(void* /*arg: the gateway object, not used*/) {
  if (!rdxml) {
    GW_TRACE("cdr_thread: no file access object\n\n");
    return nullptr;
  }
  RecordWriter writer(*rdxml, gwconfig.maxchannels);
  if (!writer.Start()) return nullptr;
  writer.Run();  // nothing stops it
  return nullptr;
}
