#include "Simulator/ApiFields.h"

#include <cstddef>

#include "VoiceHost/sid/protocol/FieldHelpers.h"
#include "VoiceHost/sid/types/SEString.h"

namespace velsim::api {

namespace {

using Sid::Field;
using Sid::FieldHelpers::equals_default;
using Sid::FieldHelpers::never_default;
using Sid::FieldHelpers::set_default;

// Defaults other than zero, as the client applies them.
bool is_true(const void* v) { return *static_cast<const bool*>(v); }
void set_true(void* v) { *static_cast<bool*>(v) = true; }
constexpr uint32_t kDtmfLength = 260;
bool is_dtmf_length(const void* v) { return *static_cast<const uint32_t*>(v) == kDtmfLength; }
void set_dtmf_length(void* v) { *static_cast<uint32_t*>(v) = kDtmfLength; }

void ids_clear(void* list) { static_cast<ObjectIds*>(list)->clear(); }
void ids_append(void* list, unsigned, void*& element) {
  auto& v = *static_cast<ObjectIds*>(list);
  v.push_back(0);
  element = &v.back();
}
const void* ids_iterate(const void* list, unsigned index) {
  const auto& v = *static_cast<const ObjectIds*>(list);
  return index < v.size() ? &v[index] : nullptr;
}
void ids_reserve(void*, unsigned) {}  // a count from the wire is not trusted for allocation

using U16 = uint16_t;

constexpr Field field(U16 tag, unsigned char kind, U16 offset = 0) {
  switch (kind) {
    case Field::KIND_STRING: case Field::KIND_XML:
      return Field::field(tag, kind, offset, equals_default<SEString>, set_default<SEString>);
    case Field::KIND_BOOLEAN:
      return Field::field(tag, kind, offset, equals_default<bool>, set_default<bool>);
    default:
      return Field::field(tag, kind, offset, equals_default<unsigned>, set_default<unsigned>);
  }
}

constexpr Field first(U16 tag, unsigned char kind, U16 end) {
  switch (kind) {
    case Field::KIND_STRING: case Field::KIND_XML:
      return Field::first(tag, kind, end, equals_default<SEString>, set_default<SEString>);
    case Field::KIND_BOOLEAN:
      return Field::first(tag, kind, end, equals_default<bool>, set_default<bool>);
    default:
      return Field::first(tag, kind, end, equals_default<unsigned>, set_default<unsigned>);
  }
}

// A property value: written whatever it is.
constexpr Field value(unsigned char kind, U16 end) {
  switch (kind) {
    case Field::KIND_STRING: case Field::KIND_XML:
      return Field::first(0, kind, end, never_default<SEString>, set_default<SEString>);
    case Field::KIND_BOOLEAN:
      return Field::first(0, kind, end, never_default<bool>, set_default<bool>);
    default:
      return Field::first(0, kind, end, never_default<unsigned>, set_default<unsigned>);
  }
}

constexpr unsigned char S = Field::KIND_STRING, E = Field::KIND_ENUM, O = Field::KIND_OBJECTID,
                        U = Field::KIND_UINT, B = Field::KIND_BOOLEAN, X = Field::KIND_XML;

#define OFF(rec, member) static_cast<U16>(offsetof(rec, member))

}  // namespace

const Field kFields[] = {
    // 0-2: one-field parameters
    first(1, S, D_REQ_ENUM1),
    first(1, E, D_REQ_OBJECT),
    first(0, O, D_REQ_LOGIN),
    // 3: Account.LoginWithPassword
    first(0, O, D_REQ_OBJ_BOOL),
    field(1, S),
    field(2, B),
    Field::field(3, B, 0, is_true, set_true),
    // 7: Account.Logout, Conversation.LeaveLiveSession
    first(0, O, D_REQ_OBJ_STRING),
    field(1, B),
    // 9: Conversation.JoinLiveSession
    first(0, O, D_REQ_DTMF),
    field(1, S),
    // 11: Conversation.SendDTMF
    first(0, O, D_REQ_POST_TEXT),
    field(1, E),
    Field::field(2, U, 0, is_dtmf_length, set_dtmf_length),
    // 14: Conversation.PostText
    first(0, O, D_REQ_OBJ_ENUM),
    field(1, S),
    field(2, B),
    // 17: Conversation.GetParticipants
    first(0, O, D_REQ_RING),
    field(1, E),
    // 19: Participant.Ring
    first(0, O, D_RSP_BOOL),
    field(1, S),
    field(2, B),
    field(3, U),
    field(4, U),
    field(5, B),
    field(6, S),
    // 26-28: results
    first(1, B, D_RSP_OBJECT),
    first(1, O, D_RSP_OBJECTS),
    Field::first(1, O, D_EV_LIST_CHANGE, equals_default<ObjectIds>, ids_clear, true),
    Field::list_helper(ids_append, ids_iterate, ids_reserve),
    // 30: Skype.OnConversationListChange
    first(1, O, D_EV_MESSAGE),
    field(2, E, OFF(ListChangeEvent, type)),
    field(3, B, OFF(ListChangeEvent, added)),
    // 33: Skype.OnMessage
    first(1, O, D_EV_DTMF),
    field(2, B, OFF(MessageEvent, changes_inbox_timestamp)),
    field(3, O, OFF(MessageEvent, supersedes)),
    field(4, O, OFF(MessageEvent, conversation)),
    // 37: Participant.OnIncomingDTMF
    first(0, O, D_VAL_UINT),
    field(1, E, OFF(DtmfEvent, dtmf)),
    // 39-44: property values
    value(U, D_VAL_ENUM),
    value(E, D_VAL_OBJECT),
    value(O, D_VAL_STRING),
    value(S, D_VAL_XML),
    value(X, D_VAL_BOOL),
    value(B, D_END),
};

#undef OFF

static_assert(sizeof(kFields) / sizeof(kFields[0]) == D_END);

}  // namespace velsim::api
