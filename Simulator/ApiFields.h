#ifndef SIMULATOR_APIFIELDS_H
#define SIMULATOR_APIFIELDS_H

// The descriptor table of the API messages the simulator reads and writes
// (Sid::Field, driving Sid::Protocol::BinServer): the parameters of each
// served call, the results, the events and one entry per property value
// kind. As on the client side, a field at its default is not written.

#include <cstdint>
#include <vector>

#include "VoiceHost/sid/protocol/Field.h"

namespace velsim::api {

// Descriptor indices in kFields.
enum Descriptor : unsigned {
  // Call parameters, read through lists of pointers (see ApiCalls).
  D_REQ_STRING1 = 0,   // {1: string}
  D_REQ_ENUM1 = 1,     // {1: enum}
  D_REQ_OBJECT = 2,    // {0: ref}
  D_REQ_LOGIN = 3,     // {0: ref, 1: string, 2: bool, 3: bool default true}
  D_REQ_OBJ_BOOL = 7,  // {0: ref, 1: bool}
  D_REQ_OBJ_STRING = 9,      // {0: ref, 1: string}
  D_REQ_DTMF = 11,           // {0: ref, 1: enum, 2: uint default 260}
  D_REQ_POST_TEXT = 14,      // {0: ref, 1: string, 2: bool}
  D_REQ_OBJ_ENUM = 17,       // {0: ref, 1: enum}
  D_REQ_RING = 19,           // {0: ref, 1: string, 2: bool, 3: uint, 4: uint, 5: bool, 6: string}
  // Results.
  D_RSP_BOOL = 26,     // {1: bool}
  D_RSP_OBJECT = 27,   // {1: ref}
  D_RSP_OBJECTS = 28,  // {1: list of ref}
  // Events.
  D_EV_LIST_CHANGE = 30,  // OnConversationListChange {1: ref, 2: enum, 3: bool}
  D_EV_MESSAGE = 33,      // OnMessage {1: ref, 2: bool, 3: ref, 4: ref}
  D_EV_DTMF = 37,         // OnIncomingDTMF {0: ref, 1: enum}
  // Property values (the tag written is the property id).
  D_VAL_UINT = 39,
  D_VAL_ENUM = 40,
  D_VAL_OBJECT = 41,
  D_VAL_STRING = 42,
  D_VAL_XML = 43,
  D_VAL_BOOL = 44,
  D_END = 45
};

extern const Sid::Field kFields[];

// The lists of object ids the results carry.
using ObjectIds = std::vector<uint32_t>;

struct ListChangeEvent {
  uint32_t conversation = 0;
  uint32_t type = 0;
  bool added = false;
};

struct MessageEvent {
  uint32_t message = 0;
  bool changes_inbox_timestamp = false;
  uint32_t supersedes = 0;
  uint32_t conversation = 0;
};

struct DtmfEvent {
  uint32_t participant = 0;
  uint32_t dtmf = 0;
};

}  // namespace velsim::api

#endif
