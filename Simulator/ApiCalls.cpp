#include "Simulator/ApiCalls.h"

#include <cstdio>

#include "Simulator/ApiFields.h"
#include "Simulator/ApiIds.h"

namespace velsim::api {

namespace {

using S = CallEntry;

const CallEntry kCalls[] = {
    {mod::SKYPE, method::START, -1, 0, {}},
    {mod::SKYPE, method::GET_ACCOUNT, D_REQ_STRING1, 1, {S::STRING1}},
    {mod::SKYPE, method::GET_CONVERSATION_LIST, D_REQ_ENUM1, 1, {S::ENUM1}},
    {mod::SKYPE, method::GET_CONVERSATION_BY_IDENTITY, D_REQ_STRING1, 1, {S::STRING1}},
    {mod::ACCOUNT, method::LOGIN_WITH_PASSWORD, D_REQ_LOGIN, 4, {S::OID, S::STRING1, S::BOOL2, S::BOOL3}},
    {mod::ACCOUNT, method::LOGOUT, D_REQ_OBJ_BOOL, 2, {S::OID, S::BOOL1}},
    {mod::CONVERSATION, method::JOIN_LIVE_SESSION, D_REQ_OBJ_STRING, 2, {S::OID, S::STRING1}},
    {mod::CONVERSATION, method::LEAVE_LIVE_SESSION, D_REQ_OBJ_BOOL, 2, {S::OID, S::BOOL1}},
    {mod::CONVERSATION, method::SEND_DTMF, D_REQ_DTMF, 3, {S::OID, S::ENUM1, S::UINT2}},
    {mod::CONVERSATION, method::POST_TEXT, D_REQ_POST_TEXT, 3, {S::OID, S::STRING1, S::BOOL2}},
    {mod::CONVERSATION, method::GET_PARTICIPANTS, D_REQ_OBJ_ENUM, 2, {S::OID, S::ENUM1}},
    {mod::CONVERSATION, method::DELETE, D_REQ_OBJECT, 1, {S::OID}},
    {mod::PARTICIPANT, method::RING, D_REQ_RING, 7,
     {S::OID, S::STRING1, S::BOOL2, S::UINT3, S::UINT4, S::BOOL5, S::STRING6}},
    {mod::PARTICIPANT, method::GET_VIDEO, D_REQ_OBJECT, 1, {S::OID}},
};

void* member(CallParams& p, CallEntry::Slot slot) {
  switch (slot) {
    case S::OID: return &p.oid;
    case S::STRING1: return &p.string1;
    case S::ENUM1: return &p.enum1;
    case S::BOOL1: return &p.bool1;
    case S::BOOL2: return &p.bool2;
    case S::UINT2: return &p.uint2;
    case S::BOOL3: return &p.bool3;
    case S::UINT3: return &p.uint3;
    case S::UINT4: return &p.uint4;
    case S::BOOL5: return &p.bool5;
    case S::STRING6: return &p.string6;
  }
  return nullptr;
}

void quoted(const SEString& s, std::string& out) {
  out += '"';
  size_t n = s.length();
  const char* d = s.data();
  for (size_t k = 0; k < n && k < 64; ++k) out += (d[k] >= 32 && d[k] < 127 && d[k] != '"') ? d[k] : '?';
  if (n > 64) out += "...";
  out += '"';
}

}  // namespace

const CallEntry* find_call(uint32_t module, uint32_t method) {
  for (const auto& c : kCalls)
    if (c.module == module && c.method == method) return &c;
  return nullptr;
}

void call_pointers(const CallEntry& entry, CallParams& params, void** pointers) {
  for (unsigned n = 0; n < entry.count; ++n) pointers[n] = member(params, entry.slots[n]);
}

std::string describe_call(const CallEntry& entry, CallParams& params) {
  std::string out;
  if (entry.descriptor < 0) return out;
  unsigned idx = static_cast<unsigned>(entry.descriptor);
  const unsigned end = kFields[idx].get_end();
  for (unsigned n = 0; idx < end && n < entry.count; idx = kFields[idx].next_index(idx), ++n) {
    const Sid::Field& f = kFields[idx];
    const void* v = member(params, entry.slots[n]);
    if (f.field_equals_default(v)) continue;
    if (!out.empty()) out += ' ';
    out += std::to_string(f.get_tag()) + "=";
    switch (f.kind()) {
      case Sid::Field::KIND_STRING: quoted(*static_cast<const SEString*>(v), out); break;
      case Sid::Field::KIND_BOOLEAN: out += *static_cast<const bool*>(v) ? "T" : "F"; break;
      case Sid::Field::KIND_OBJECTID: out += "#" + std::to_string(*static_cast<const uint32_t*>(v)); break;
      default: out += std::to_string(*static_cast<const uint32_t*>(v)); break;
    }
  }
  return out;
}

}  // namespace velsim::api
