#ifndef SIMULATOR_APIWRITER_H
#define SIMULATOR_APIWRITER_H

#include <cstdint>
#include <string>

#include "VoiceHost/sid/protocol/BinServer.h"
#include "VoiceHost/sid/protocol/MemoryTransport.h"
#include "VoiceHost/sid/types/SEString.h"

namespace velsim {

// A property as the simulator holds it: its kind on the wire (a Sid::Field
// kind: 'u', 'e', 'O', 'S', 'X' or 'b') and its value.
struct PropValue {
  unsigned char kind = 0;
  uint32_t num = 0;
  std::string str;
  bool flag = false;
};

// Encodes the simulator's messages with the protocol's BinServer into
// memory: each call returns one whole message, which the connection's
// writer sends in order. Not thread-safe: the model encodes under its lock.
class ApiWriter {
public:
  ApiWriter();

  std::string response(uint32_t rid, const void* record, unsigned descriptor);
  std::string response(uint32_t rid);  // no results
  std::string error(uint32_t rid);
  std::string event(uint32_t module, uint32_t event, const void* record, unsigned descriptor);

  // A property reply or change, one property at a time; a null value is a
  // property without value ('N').
  void begin_reply();
  void begin_change();
  void add(uint32_t module, uint32_t oid, uint32_t prop, const PropValue* value);
  std::string end();

private:
  std::string take(Sid::Protocol::Status s);

  Sid::MemoryTransport m_transport;
  Sid::Protocol::BinServer m_server;
  bool m_change = false;
  bool m_first = true;
  bool m_failed = false;
};

// The SEString of a std::string (the protocol's strings end at a NUL).
SEString to_sestring(const std::string& s);

}  // namespace velsim

#endif
