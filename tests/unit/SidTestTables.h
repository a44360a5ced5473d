// Descriptor tables and records shared by the protocol tests, the fuzz target
// and the benchmark: every kind, lists of each sort, nested structs, a deeply
// nested chain, and the two voice-interface call shapes.
#ifndef TESTS_UNIT_SIDTESTTABLES_H
#define TESTS_UNIT_SIDTESTTABLES_H

#include <cstddef>
#include <cstdint>
#include <deque>

#include "VoiceHost/sid/protocol/Field.h"
#include "VoiceHost/sid/protocol/FieldHelpers.h"
#include "VoiceHost/sid/types/SEBinary.h"
#include "VoiceHost/sid/types/SEIntList.h"
#include "VoiceHost/sid/types/SEList.h"
#include "VoiceHost/sid/types/SEString.h"
#include "VoiceHost/sid/types/SEStringList.h"

namespace SidTest {

using Sid::Field;
namespace H = Sid::FieldHelpers;

// A list of booleans (the list family has no such type; the protocol only
// needs the three helpers).
struct BoolList {
  std::deque<bool> items;
  size_t size() const { return items.size(); }
  void clear() { items.clear(); }
  bool* append_default()
  {
    items.push_back(false);
    return &items.back();
  }
  const bool* at(size_t i) const { return i < items.size() ? &items[i] : nullptr; }
  void reserve(size_t) {}
};

struct Inner {
  SEString name;     // 1 'S'
  unsigned count;    // 2 'u'
  SEIntList sizes;   // 3 list of 'u'
};

struct InnerList : SEListBase<Inner> {};

struct Everything {
  int i;               // 1 'i'
  unsigned u;          // 2 'u'
  unsigned e;          // 3 'e'
  unsigned o;          // 4 'O'
  uint64_t big;        // 5 'U'
  SEString s;          // 6 'S'
  SEString x;          // 7 'X'
  SEFilename f;        // 8 'f'
  SEBinary b;          // 9 'B'
  bool flag;           // 10 'b'
  SEIntList ints;      // 11 list of 'i'
  SEStringList strs;   // 12 list of 'S'
  BoolList bools;      // 13 list of 'b'
  Inner inner;         // 14 '{'
  InnerList inners;    // 15 list of '{'
};

// Method-1 call of the worked example and the RTP packet calls: (1 'i', 2 'B').
struct IntBinary {
  int number;
  SEBinary data;
};

// A property reply's three values.
struct Properties {
  SEString name;
  unsigned status;
  bool online;
};

enum : uint16_t {
  EVERYTHING = 0,
  EVERYTHING_END = 19,
  INNER = 19,
  INNER_END = 23,
  CALL = 23,  // defaults omitted
  CALL_END = 25,
  RTP = 25,  // every field always written
  RTP_END = 27,
  PROP_STRING = 27,
  PROP_UINT = 28,
  PROP_BOOL = 29,
  PROP_BINARY = 30,
  TABLE_END = 31,
};

template <class T>
constexpr Field::EqualsDefault eq = &H::equals_default<T>;
template <class T>
constexpr Field::SetDefault set = &H::set_default<T>;

inline void set_inner_default(void* v) { *static_cast<Inner*>(v) = Inner(); }
inline bool inner_is_default(const void* v)
{
  const Inner& in = *static_cast<const Inner*>(v);
  return in.name.length() == 0 && in.count == 0 && in.sizes.size() == 0;
}

#define SIDTEST_OFF(field) static_cast<uint16_t>(offsetof(Everything, field))

inline const Field kFields[TABLE_END] = {
    Field::first(1, 'i', EVERYTHING_END, eq<int>, set<int>),
    Field::field(2, 'u', SIDTEST_OFF(u), eq<unsigned>, set<unsigned>),
    Field::field(3, 'e', SIDTEST_OFF(e), eq<unsigned>, set<unsigned>),
    Field::field(4, 'O', SIDTEST_OFF(o), eq<unsigned>, set<unsigned>),
    Field::field(5, 'U', SIDTEST_OFF(big), eq<uint64_t>, set<uint64_t>),
    Field::field(6, 'S', SIDTEST_OFF(s), eq<SEString>, set<SEString>),
    Field::field(7, 'X', SIDTEST_OFF(x), eq<SEString>, set<SEString>),
    Field::field(8, 'f', SIDTEST_OFF(f), eq<SEString>, set<SEString>),
    Field::field(9, 'B', SIDTEST_OFF(b), eq<SEBinary>, set<SEBinary>),
    Field::field(10, 'b', SIDTEST_OFF(flag), eq<bool>, set<bool>),
    Field::field(11, 'i', SIDTEST_OFF(ints), eq<SEIntList>, set<SEIntList>, true),
    H::list_helper<SEIntList>(),
    Field::field(12, 'S', SIDTEST_OFF(strs), eq<SEStringList>, set<SEStringList>, true),
    H::list_helper<SEStringList>(),
    Field::field(13, 'b', SIDTEST_OFF(bools), eq<BoolList>, set<BoolList>, true),
    H::list_helper<BoolList>(),
    Field::field(14, '{', SIDTEST_OFF(inner), &inner_is_default, &set_inner_default, false, INNER),
    Field::field(15, '{', SIDTEST_OFF(inners), eq<InnerList>, set<InnerList>, true, INNER),
    H::list_helper<InnerList>(),
    // INNER
    Field::first(1, 'S', INNER_END, eq<SEString>, set<SEString>),
    Field::field(2, 'u', static_cast<uint16_t>(offsetof(Inner, count)), eq<unsigned>, set<unsigned>),
    Field::field(3, 'u', static_cast<uint16_t>(offsetof(Inner, sizes)), eq<SEIntList>, set<SEIntList>, true),
    H::list_helper<SEIntList>(),
    // CALL
    Field::first(1, 'i', CALL_END, eq<int>, set<int>),
    Field::field(2, 'B', static_cast<uint16_t>(offsetof(IntBinary, data)), eq<SEBinary>, set<SEBinary>),
    // RTP
    Field::first(1, 'i', RTP_END, &H::never_default<int>, set<int>),
    Field::field(2, 'B', static_cast<uint16_t>(offsetof(IntBinary, data)), &H::never_default<SEBinary>,
                 set<SEBinary>),
    // single property values
    Field::first(0, 'S', PROP_STRING + 1, eq<SEString>, set<SEString>),
    Field::first(0, 'u', PROP_UINT + 1, eq<unsigned>, set<unsigned>),
    Field::first(0, 'b', PROP_BOOL + 1, eq<bool>, set<bool>),
    Field::first(0, 'B', PROP_BINARY + 1, eq<SEBinary>, set<SEBinary>),
};

#undef SIDTEST_OFF

// A chain of nested messages: level k is (1 'i' v, 2 '{' child), the last one
// only (1 'i' v). The record of level k is k + 1 consecutive ints.
constexpr unsigned CHAIN_LEVELS = 14;
struct ChainTable {
  Field fields[2 * CHAIN_LEVELS + 1];
};
constexpr ChainTable make_chain()
{
  ChainTable t{};
  for (unsigned k = 0; k < CHAIN_LEVELS; ++k) {
    uint16_t at = static_cast<uint16_t>(2 * k);
    t.fields[at] = Field::first(1, 'i', static_cast<uint16_t>(at + 2), eq<int>, set<int>);
    t.fields[at + 1] =
        Field::field(2, '{', sizeof(int), &H::never_default<int>, &H::set_default<int>, false,
                     static_cast<uint16_t>(at + 2));
  }
  t.fields[2 * CHAIN_LEVELS] =
      Field::first(1, 'i', static_cast<uint16_t>(2 * CHAIN_LEVELS + 1), eq<int>, set<int>);
  return t;
}
inline const ChainTable kChain = make_chain();
// Index of the message that has this many levels of messages inside it and itself.
constexpr unsigned chain_message(unsigned levels) { return 2 * (CHAIN_LEVELS + 1 - levels); }

}  // namespace SidTest

#endif
