#ifndef SID_PROTOCOL_FIELD_H
#define SID_PROTOCOL_FIELD_H

#include <cstdint>

namespace Sid {

// One entry of a field descriptor table, which drives the encoding and decoding
// of parameter messages. A table is an array of entries; a message is named by
// the index of its first entry (flag FIRST set; its m_offset holds the index one
// past the message's last entry and its value lies at the start of the record).
// Every list field is followed by a list-helper entry (see list_helper()).
// Fields of one message are in ascending tag order.
class Field {
public:
  enum Kind : unsigned char {
    RESERVED = 0,
    KIND_INT = 'i',       // signed 32-bit, zigzag varint
    KIND_UINT = 'u',      // unsigned 32-bit varint
    KIND_ENUM = 'e',      // unsigned 32-bit varint
    KIND_OBJECTID = 'O',  // unsigned 32-bit varint (object id)
    KIND_UINT64 = 'U',    // unsigned 64-bit varint
    KIND_STRING = 'S',    // varint byte count, then the bytes (SEString)
    KIND_XML = 'X',       // as 'S'
    KIND_FILENAME = 'f',  // as 'S' (SEFilename)
    KIND_BINARY = 'B',    // varint byte count, then the bytes (SEBinary)
    KIND_BOOLEAN = 'b',   // descriptor kind only: 'T' or 'F' on the wire (bool)
    KIND_TRUE = 'T',
    KIND_FALSE = 'F',
    KIND_LIST = '[',
    KIND_STRUCT = '{',   // a nested parameter message ending with 'z'
    KIND_NULL = 'N',     // no payload: an error response, or a property without value
    KIND_METATAG = 'm',
    KIND_METADATA = 'd',
    KIND_OPAQUE = 'o',
    KIND_TERM = 't',
  };

  enum Flags : unsigned char {
    FLAG_LIST = 1,   // the field is a list; the next entry is its list helper
    FLAG_FIRST = 4,  // the first entry of its message
  };

  using EqualsDefault = bool (*)(const void* value);
  using SetDefault = void (*)(void* value);
  // Appends one default element and yields its address.
  using Append = void (*)(void* list, unsigned index, void*& element);
  // The element at index, or null past the end.
  using Iterate = const void* (*)(const void* list, unsigned index);
  using Reserve = void (*)(void* list, unsigned count);

  // Regular entry. The two function pointers may be called directly on a value
  // pointer (parameters given as a list of pointers).
  EqualsDefault field_equals_default;
  SetDefault set_field_to_default;
  uint16_t m_tag;
  uint8_t m_flags;
  uint8_t m_kind;  // for a list: the kind of its elements
  uint16_t m_offset;
  uint16_t m_field_info;  // '{': table index where the nested message begins
  // List-helper entry.
  Append m_append;
  Iterate m_iterate;
  Reserve m_reserve;

  unsigned char kind() const { return m_kind; }
  bool is_list() const { return (m_flags & FLAG_LIST) != 0; }
  bool is_first() const { return (m_flags & FLAG_FIRST) != 0; }
  unsigned get_tag() const { return m_tag; }
  unsigned get_end() const { return m_offset; }
  unsigned get_struct_offset() const { return m_field_info; }

  void* offset(void* record) const
  {
    return is_first() ? record : static_cast<char*>(record) + m_offset;
  }
  const void* offset(const void* record) const
  {
    return is_first() ? record : static_cast<const char*>(record) + m_offset;
  }
  void set_to_default(void* record) const { set_field_to_default(offset(record)); }
  bool equals_default(const void* record) const { return field_equals_default(offset(record)); }

  void append(void* list, unsigned index, void*& element) const { this[1].m_append(list, index, element); }
  const void* iterate(const void* list, unsigned index) const { return this[1].m_iterate(list, index); }
  void reserve(void* list, unsigned count) const { this[1].m_reserve(list, count); }

  const Field* next() const { return this + (is_list() ? 2 : 1); }
  // Table index of the field after the one at index.
  unsigned next_index(unsigned index) const { return index + (is_list() ? 2 : 1); }

  // Builders for tables. A field of a message that is not its first:
  static constexpr Field field(uint16_t tag, unsigned char kind, uint16_t offset, EqualsDefault eq,
                               SetDefault set, bool list = false, uint16_t field_info = 0)
  {
    return Field{eq, set, tag, static_cast<uint8_t>(list ? FLAG_LIST : 0), kind, offset, field_info,
                 nullptr, nullptr, nullptr};
  }
  // The first field of a message: its value is at offset 0 of the record; end
  // is the table index one past the message's last entry.
  static constexpr Field first(uint16_t tag, unsigned char kind, uint16_t end, EqualsDefault eq,
                               SetDefault set, bool list = false, uint16_t field_info = 0)
  {
    return Field{eq, set, tag, static_cast<uint8_t>(FLAG_FIRST | (list ? FLAG_LIST : 0)), kind, end,
                 field_info, nullptr, nullptr, nullptr};
  }
  static constexpr Field list_helper(Append append, Iterate iterate, Reserve reserve)
  {
    return Field{nullptr, nullptr, 0, 0, RESERVED, 0, 0, append, iterate, reserve};
  }

  // The descriptor tables of the multi-RTP voice interface (defined with it).
  static const Field M_SkypeMultiRTPInterface_fields[];
  static const Field M_SkypeMultiRTPCallbackInterface_fields[];
};

}  // namespace Sid

#endif
