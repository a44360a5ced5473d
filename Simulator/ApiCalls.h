#ifndef SIMULATOR_APICALLS_H
#define SIMULATOR_APICALLS_H

// The calls the simulator serves: where each one's parameters are decoded
// to, and how they are shown in the event log.

#include <cstdint>
#include <string>

#include "VoiceHost/sid/types/SEString.h"

namespace velsim::api {

// The parameters of any served call, in one record: each method's
// descriptor fills the members it names and leaves the others at their
// defaults. The members are named by tag and kind.
struct CallParams {
  uint32_t oid = 0;     // 0: the object called
  SEString string1;     // 1: identity, password, token or text
  uint32_t enum1 = 0;   // 1: list type, participant filter or DTMF digit
  bool bool1 = false;   // 1: Logout's and LeaveLiveSession's flag
  bool bool2 = false;   // 2: save password, XML text, video call
  uint32_t uint2 = 260;  // 2: DTMF length (default 260)
  bool bool3 = true;    // 3: LoginWithPassword's save-data flag (default true)
  uint32_t uint3 = 0, uint4 = 0;  // 3, 4: Ring's redials and period
  bool bool5 = false;   // 5: Ring's voicemail flag
  SEString string6;     // 6: Ring's origin

  std::string str1() const { return std::string(string1.data(), string1.length()); }
};

// One served method: its parameter descriptor and the members it fills in
// descriptor order, or no descriptor (the parameters are skipped).
struct CallEntry {
  enum Slot : uint8_t { OID, STRING1, ENUM1, BOOL1, BOOL2, UINT2, BOOL3, UINT3, UINT4, BOOL5, STRING6 };
  uint32_t module;
  uint32_t method;
  int descriptor;  // -1: no parameters
  uint8_t count;
  Slot slots[7];
};

// The method, or null when the simulator does not serve it.
const CallEntry* find_call(uint32_t module, uint32_t method);

// Fills `pointers` (room for 7) with the addresses of the entry's members.
void call_pointers(const CallEntry& entry, CallParams& params, void** pointers);

// "tag=value ..." of the parameters that are not at their defaults.
std::string describe_call(const CallEntry& entry, CallParams& params);

// One property asked for.
struct PropRef {
  uint32_t module, oid, prop;
};

}  // namespace velsim::api

#endif
