#ifndef SID_PROTOCOL_FIELDHELPERS_H
#define SID_PROTOCOL_FIELDHELPERS_H

#include <cstdint>

#include "VoiceHost/sid/protocol/Field.h"
#include "VoiceHost/sid/types/SEBinary.h"
#include "VoiceHost/sid/types/SEString.h"

// Ready-made default functions and list helpers for descriptor tables.
namespace Sid {
namespace FieldHelpers {

// The value's own notion of "default": 0, false, the null or empty string, an
// empty binary, an empty list.
inline bool is_default_value(int v) { return v == 0; }
inline bool is_default_value(unsigned v) { return v == 0; }
inline bool is_default_value(uint64_t v) { return v == 0; }
inline bool is_default_value(bool v) { return !v; }
inline bool is_default_value(const SEString& v) { return v.length() == 0; }
inline bool is_default_value(const SEBinary& v) { return v.size() == 0; }
template <class L>
bool is_default_value(const L& list) requires requires(L& l) { l.size(); l.clear(); }
{
  return list.size() == 0;
}

inline void set_default_value(int& v) { v = 0; }
inline void set_default_value(unsigned& v) { v = 0; }
inline void set_default_value(uint64_t& v) { v = 0; }
inline void set_default_value(bool& v) { v = false; }
inline void set_default_value(SEString& v) { v = SEString(); }
inline void set_default_value(SEBinary& v) { v.resize(0); }
template <class L>
void set_default_value(L& list) requires requires { list.clear(); }
{
  list.clear();
}

// The field is written whenever it is not at its default.
template <class T>
bool equals_default(const void* value)
{
  return is_default_value(*static_cast<const T*>(value));
}
// The field is always written.
template <class T>
bool never_default(const void*)
{
  return false;
}
template <class T>
void set_default(void* value)
{
  set_default_value(*static_cast<T*>(value));
}
// For nested records: assign a value-initialised record.
template <class T>
void set_record_default(void* value)
{
  *static_cast<T*>(value) = T();
}

// List helpers for the list family (anything with append_default, at, reserve).
template <class L>
void list_append(void* list, unsigned, void*& element)
{
  element = static_cast<L*>(list)->append_default();
}
template <class L>
const void* list_iterate(const void* list, unsigned index)
{
  return static_cast<const L*>(list)->at(index);
}
template <class L>
void list_reserve(void* list, unsigned count)
{
  static_cast<L*>(list)->reserve(count);
}
template <class L>
constexpr Field list_helper()
{
  return Field::list_helper(&list_append<L>, &list_iterate<L>, &list_reserve<L>);
}

}  // namespace FieldHelpers
}  // namespace Sid

#endif
