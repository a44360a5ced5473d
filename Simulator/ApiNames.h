#ifndef SIMULATOR_APINAMES_H
#define SIMULATOR_APINAMES_H

#include <cstdint>

namespace velsim::api {

// Names for the event log; "?" when unknown.
const char* method_name(uint32_t module, uint32_t method);
const char* prop_name(uint32_t module, uint32_t prop);
const char* module_name(uint32_t module);

}  // namespace velsim::api

#endif
