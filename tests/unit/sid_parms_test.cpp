// Parameter messages and the framing of calls, responses and events: the
// worked byte sequences, defaults, unknown fields, the limits, and failures.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "VoiceHost/sid/protocol/BinClient.h"
#include "VoiceHost/sid/protocol/BinServer.h"
#include "VoiceHost/sid/protocol/MemoryTransport.h"
#include "tests/unit/SidTestBytes.h"
#include "tests/unit/SidTestTables.h"

namespace {

using namespace Sid::Protocol;
using Sid::MemoryTransport;
using SidTest::hex;
using SidTest::to_hex;
namespace T = SidTest;

const char kCallHeader[] = {'Z', 'R', 0x00, 0x01};  // module 0, method 1

std::string packet(unsigned n)
{
  std::string p;
  for (unsigned i = 0; i < n; ++i) p += static_cast<char>(i * 7 + 1);
  return p;
}

struct Pair {
  MemoryTransport out;  // what the client writes
  MemoryTransport in;   // what the server reads
  BinClient client{&out, T::kFields};
  BinServer server{nullptr, &in, T::kFields};

  // Advances the client's request id by n calls.
  void burn_ids(unsigned n)
  {
    for (unsigned i = 0; i < n; ++i) {
      unsigned rid;
      client.wr_call(nullptr, kCallHeader, 4, rid);
    }
    out.clear_output();
  }
};

struct EncodeCase {
  const char* name;
  std::function<std::string()> encode;
  std::string expect;
};

TEST(Framing, WorkedExamplesByteForByte)
{
  const std::string rtp = packet(172);
  const EncodeCase cases[] = {
      {"call of method 1, request id 5",
       [] {
         Pair p;
         p.burn_ids(5);
         T::IntBinary rec{3, SEBinary("\xAA\xBB", 2)};
         unsigned rid = 0;
         EXPECT_EQ(p.client.wr_call(nullptr, kCallHeader, 4, rid, &rec, T::CALL), OK);
         EXPECT_EQ(rid, 5u);
         EXPECT_TRUE(p.out.counters().last_immediate);
         return p.out.output_string();
       },
       hex("5A 52 00 01 05 69 01 06 42 02 02 AA BB 7A")},
      {"error response to request 300",
       [] {
         MemoryTransport t;
         BinServer s(nullptr, &t, T::kFields);
         EXPECT_EQ(s.wr_response_error(nullptr, 300), OK);
         return t.output_string();
       },
       hex("5A 72 AC 02 4E 7A")},
      {"SendRTPPacket on channel 0, request id 7",
       [rtp] {
         Pair p;
         p.burn_ids(7);
         T::IntBinary rec{0, SEBinary(rtp.data(), 172)};
         unsigned rid = 0;
         EXPECT_EQ(p.client.wr_call(nullptr, kCallHeader, 4, rid, &rec, T::RTP), OK);
         return p.out.output_string();
       },
       hex("5A 52 00 01 07 69 01 00 42 02 AC 01") + rtp + "z"},
      {"SubmitRTPPacket on channel 1, request id 300",
       [rtp] {
         MemoryTransport t;
         BinClient c(&t, T::kFields);
         const char header[] = {'Z', 'R', 0x00, 0x28};
         T::IntBinary rec{1, SEBinary(rtp.data(), 172)};
         unsigned rid = 300;
         EXPECT_EQ(c.wr_preencoded(nullptr, header, 4, BinCommon::ID_GIVEN, rid, &rec, T::RTP, true), OK);
         EXPECT_EQ(c.next_request_id(), 0u);  // a given id does not advance the counter
         return t.output_string();
       },
       hex("5A 52 00 28 AC 02 69 01 02 42 02 AC 01") + rtp + "z"},
      {"response without parameters",
       [] {
         MemoryTransport t;
         BinServer s(nullptr, &t, T::kFields);
         EXPECT_EQ(s.wr_response(nullptr, 2), OK);
         return t.output_string();
       },
       hex("5A 72 02 7A")},
      {"event without parameters",
       [] {
         MemoryTransport t;
         BinServer s(nullptr, &t, T::kFields);
         const char header[] = {'Z', 'E', 0x0A, 0x02};
         EXPECT_EQ(s.wr_event(nullptr, header, 4), OK);
         EXPECT_FALSE(t.counters().last_immediate);
         return t.output_string();
       },
       hex("5A 45 0A 02 7A")},
      {"boolean true and a list of two booleans",
       [] {
         MemoryTransport t;
         BinServer s(nullptr, &t, T::kFields);
         T::Everything rec{};
         rec.flag = true;
         rec.bools.items = {true, false};
         EXPECT_EQ(s.wr_response(nullptr, 1, &rec, T::EVERYTHING), OK);
         return t.output_string();
       },
       hex("5A 72 01 54 0A 5B 0D 54 46 5D 7A")},
  };
  for (const auto& c : cases) EXPECT_EQ(to_hex(c.encode()), to_hex(c.expect)) << c.name;
}

TEST(Framing, ServerDecodesSubmitRTPPacket)
{
  const std::string rtp = packet(172);
  MemoryTransport t;
  BinServer s(nullptr, &t, T::kFields);
  t.feed(hex("5A 52 03 28 AC 02 69 01 02 42 02 AC 01") + rtp + "z");
  Command cmd;
  ASSERT_EQ(s.rd_command(nullptr, cmd), OK);
  EXPECT_EQ(cmd, CMD_XCALL);
  unsigned modid, method, rid;
  ASSERT_EQ(s.rd_call(nullptr, modid, method, rid), OK);
  EXPECT_EQ(modid, 3u);
  EXPECT_EQ(method, 40u);
  EXPECT_EQ(rid, 300u);
  T::IntBinary rec{};
  ASSERT_EQ(s.rd_parms(nullptr, &rec, T::RTP), OK);
  EXPECT_EQ(rec.number, 1);
  ASSERT_EQ(rec.data.size(), 172u);
  EXPECT_EQ(std::string(rec.data.data(), 172), rtp);
  EXPECT_EQ(t.counters().end_decoding, 1u);
  EXPECT_EQ(t.available(), 0u);
}

TEST(Framing, ErrorResponseReadsAsErrCall)
{
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  t.feed(hex("5A 72 AC 02 4E 7A"));
  Command cmd;
  ASSERT_EQ(c.rd_response_or_event(nullptr, cmd), OK);
  EXPECT_EQ(cmd, CMD_XREPLY);
  unsigned rid;
  ASSERT_EQ(c.rd_response_id(nullptr, rid), OK);
  EXPECT_EQ(rid, 300u);
  T::IntBinary rec{};
  EXPECT_EQ(c.rd_parms(nullptr, &rec, T::CALL), ERR_CALL);
  EXPECT_EQ(t.available(), 0u);
  // 'N' without its closing byte is a decoding failure instead.
  t.feed(hex("4E"));
  EXPECT_EQ(c.rd_parms(nullptr, &rec, T::CALL), ERR_DECODE);
  t.feed(hex("4E 7A"));
  EXPECT_EQ(c.sk_parms(nullptr), ERR_CALL);
}

TEST(Framing, MessageStartMustBeZ)
{
  const char* bad[] = {"5B 52", "5A", ""};
  for (const char* b : bad) {
    MemoryTransport t;
    BinServer s(nullptr, &t, T::kFields);
    t.feed(hex(b));
    Command cmd;
    EXPECT_EQ(s.rd_command(nullptr, cmd), ERR_DECODE) << b;
  }
  MemoryTransport t;
  BinServer s(nullptr, &t, T::kFields);
  t.feed(hex("5A 47"));
  Command cmd;
  ASSERT_EQ(s.rd_command(nullptr, cmd), OK);
  EXPECT_EQ(s.rg_state(), 1);  // a property request follows
  t.feed(hex("5A 99"));
  ASSERT_EQ(s.rd_command(nullptr, cmd), OK);  // the command byte is not validated here
  EXPECT_EQ(static_cast<unsigned>(cmd), 0x99u);
}

T::Everything full_record()
{
  T::Everything r{};
  r.i = -123456;
  r.u = 4000000000u;
  r.e = 7;
  r.o = 99;
  r.big = 1ull << 40;
  r.s = "string";
  r.x = "<xml/>";
  r.f = "file.txt";
  r.b = SEBinary("\x00\x01\x02", 3);
  r.flag = true;
  r.ints.append(-1);
  r.ints.append(300);
  r.strs.append("one");
  r.strs.append("two");
  r.bools.items = {false, true, true};
  r.inner.name = "inner";
  r.inner.count = 5;
  r.inner.sizes.append(20);
  r.inner.sizes.append(30);
  T::Inner a{"a", 1, {}}, b{"b", 2, {}};
  *r.inners.append_default() = a;
  *r.inners.append_default() = b;
  return r;
}

void expect_equal(const T::Everything& a, const T::Everything& b)
{
  EXPECT_EQ(a.i, b.i);
  EXPECT_EQ(a.u, b.u);
  EXPECT_EQ(a.e, b.e);
  EXPECT_EQ(a.o, b.o);
  EXPECT_EQ(a.big, b.big);
  EXPECT_TRUE(a.s == b.s);
  EXPECT_TRUE(a.x == b.x);
  EXPECT_TRUE(a.f == b.f);
  EXPECT_TRUE(a.b == b.b);
  EXPECT_EQ(a.flag, b.flag);
  ASSERT_EQ(a.ints.size(), b.ints.size());
  for (size_t i = 0; i < a.ints.size(); ++i) EXPECT_EQ(a.ints[i], b.ints[i]);
  ASSERT_EQ(a.strs.size(), b.strs.size());
  for (size_t i = 0; i < a.strs.size(); ++i) EXPECT_TRUE(a.strs[i] == b.strs[i]);
  EXPECT_EQ(a.bools.items, b.bools.items);
  EXPECT_TRUE(a.inner.name == b.inner.name);
  EXPECT_EQ(a.inner.count, b.inner.count);
  ASSERT_EQ(a.inner.sizes.size(), b.inner.sizes.size());
  for (size_t i = 0; i < a.inner.sizes.size(); ++i) EXPECT_EQ(a.inner.sizes[i], b.inner.sizes[i]);
  ASSERT_EQ(a.inners.size(), b.inners.size());
  for (size_t i = 0; i < a.inners.size(); ++i) {
    EXPECT_TRUE(a.inners.at(i)->name == b.inners.at(i)->name);
    EXPECT_EQ(a.inners.at(i)->count, b.inners.at(i)->count);
  }
}

std::string encode_response(const T::Everything& rec)
{
  MemoryTransport t;
  BinServer s(nullptr, &t, T::kFields);
  EXPECT_EQ(s.wr_response(nullptr, 1, &rec, T::EVERYTHING), OK);
  return t.output_string().substr(3);  // the parameter message after "Zr" 01
}

Status decode(const std::string& message, T::Everything& rec, MemoryTransport* used = nullptr)
{
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  t.feed(message);
  Status s = c.rd_parms(nullptr, &rec, T::EVERYTHING);
  if (s == OK) {
    EXPECT_EQ(t.available(), 0u);
  }
  if (used) *used = t;
  return s;
}

TEST(Parms, EveryKindRoundTrips)
{
  T::Everything sent = full_record();
  std::string wire = encode_response(sent);
  T::Everything got{};
  ASSERT_EQ(decode(wire, got), OK) << to_hex(wire);
  expect_equal(sent, got);
}

TEST(Parms, DefaultsAreOmittedAndFilledIn)
{
  T::Everything empty{};
  EXPECT_EQ(to_hex(encode_response(empty)), "7A");
  T::Everything got = full_record();
  ASSERT_EQ(decode(hex("7A"), got), OK);
  expect_equal(empty, got);

  T::Everything some{};
  some.u = 9;
  some.inner.count = 2;
  got = full_record();
  ASSERT_EQ(decode(encode_response(some), got), OK);
  expect_equal(some, got);
}

// Fields the descriptor does not know, before, between and after the known ones.
TEST(Parms, UnknownFieldsAreSkipped)
{
  struct Two {
    unsigned u;  // tag 2
    SEString s;  // tag 6
  };
  static const Sid::Field table[] = {
      Sid::Field::first(2, 'u', 2, T::eq<unsigned>, T::set<unsigned>),
      Sid::Field::field(6, 'S', static_cast<uint16_t>(offsetof(Two, s)), T::eq<SEString>, T::set<SEString>),
  };
  const std::string before = hex("69 00 02") + hex("4F 01 05");
  const std::string between = hex("5B 03 69 02 69 04 5D") + hex("7B 04 75 01 05 53 02 02 68 69 7A") + hex("54 05");
  const std::string after = hex("42 63 01 FF") + hex("55 64 80 01") + hex("58 65 01 78");
  struct Case {
    const char* name;
    std::string wire;
    unsigned u;
    const char* s;
  } cases[] = {
      {"all around", before + hex("75 02 09") + between + hex("53 06 02 68 69") + after + "z", 9, "hi"},
      {"only unknown", before + between + after + "z", 0, ""},
      {"known first omitted", between + hex("53 06 01 71") + "z", 0, "q"},
      {"known last omitted", hex("75 02 07") + after + "z", 7, ""},
  };
  for (const auto& c : cases) {
    MemoryTransport t;
    BinClient client(&t, table);
    t.feed(c.wire);
    Two got{77, "stale"};
    ASSERT_EQ(client.rd_parms(nullptr, &got, 0), OK) << c.name;
    EXPECT_EQ(got.u, c.u) << c.name;
    EXPECT_STREQ(got.s, c.s) << c.name;
    EXPECT_EQ(t.available(), 0u) << c.name;
  }
}

TEST(Parms, UnknownFieldBudgetIsThirty)
{
  auto unknowns = [](int n) {
    std::string w;
    for (int i = 0; i < n; ++i) w += hex("69 00 02");  // tag 0 is below every known tag
    return w;
  };
  T::Everything got{};
  EXPECT_EQ(decode(unknowns(30) + "z", got), OK);
  EXPECT_EQ(decode(unknowns(31) + "z", got), ERR_DECODE);
  // Counted per message, and also when skipping a whole message.
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  t.feed(unknowns(30) + "z");
  EXPECT_EQ(c.sk_parms(nullptr), OK);
  t.feed(unknowns(31) + "z");
  EXPECT_EQ(c.sk_parms(nullptr), ERR_DECODE);
  // Unknown fields after the last known one count too.
  std::string after;
  for (int i = 0; i < 31; ++i) after += hex("69 63 02");
  EXPECT_EQ(decode(hex("69 01 02") + after + "z", got), ERR_DECODE);
}

TEST(Parms, TagsOutOfOrderFail)
{
  T::Everything got{};
  const char* cases[] = {
      "75 02 01 69 01 02 7A",        // 2 then 1, both known
      "69 63 02 69 62 02 7A",        // 99 then 98, both unknown after the known ones
      "53 06 00 75 02 01 7A",        // 6 then 2
  };
  for (const char* c : cases) EXPECT_EQ(decode(hex(c), got), ERR_DECODE) << c;
  // Equal tags are not out of order: the second is skipped as unknown.
  EXPECT_EQ(decode(hex("75 02 01 75 02 05 7A"), got), OK);
  EXPECT_EQ(got.u, 1u);
}

TEST(Parms, KindMustMatchDescriptor)
{
  T::Everything got{};
  const char* cases[] = {
      "75 01 02 7A",  // 'u' where tag 1 is 'i'
      "69 0A 7A",     // 'i' where tag 10 is a boolean
      "69 0B 02 7A",  // a single value where tag 11 is a list
      "5B 0B 75 01 5D 7A",  // list elements of the wrong kind
      "5B 0D 69 02 5D 7A",  // 'i' inside a boolean list
  };
  for (const char* c : cases) EXPECT_EQ(decode(hex(c), got), ERR_DECODE) << c;
  ASSERT_EQ(decode(hex("46 0A 7A"), got), OK);  // 'F' for a boolean field
  EXPECT_FALSE(got.flag);
}

TEST(Parms, TruncatedMessagesFail)
{
  std::string wire = encode_response(full_record());
  for (size_t n = 0; n < wire.size(); ++n) {
    T::Everything got{};
    EXPECT_EQ(decode(wire.substr(0, n), got), ERR_DECODE) << n;
  }
}

std::string nested(unsigned levels)
{
  std::string w;
  for (unsigned i = 1; i < levels; ++i) w += hex("7B 02");
  for (unsigned i = 0; i < levels; ++i) w += "z";
  return w;
}

TEST(Parms, NestingLimit)
{
  for (unsigned levels : {1u, 5u, 11u, 12u, 13u}) {
    bool ok = levels <= 11;
    MemoryTransport t;
    BinServer s(nullptr, &t, T::kChain.fields);
    int storage[T::CHAIN_LEVELS + 1] = {};
    t.feed(nested(levels));
    EXPECT_EQ(s.rd_parms(nullptr, storage, T::chain_message(levels)), ok ? OK : ERR_DECODE) << levels;
    EXPECT_EQ(s.depth(), 0);
    t.clear_input();
    t.feed(nested(levels));
    EXPECT_EQ(s.sk_parms(nullptr), ok ? OK : ERR_DECODE) << levels;
    // As an unknown field (tag 16) nested inside a known message.
    if (levels >= 2) {
      T::Everything got{};
      std::string w = hex("7B 10") + nested(levels - 1) + "z";
      EXPECT_EQ(decode(w, got), ok ? OK : ERR_DECODE) << levels;
    }
  }
  // Values travel through every level.
  MemoryTransport t;
  BinServer s(nullptr, &t, T::kChain.fields);
  std::string w;
  for (int i = 0; i < 10; ++i) w += hex("69 01") + std::string(1, static_cast<char>(2 * (i + 1))) + hex("7B 02");
  w += hex("69 01 16") + std::string(11, 'z');
  t.feed(w);
  int storage[T::CHAIN_LEVELS + 1] = {};
  ASSERT_EQ(s.rd_parms(nullptr, storage, T::chain_message(11)), OK);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(storage[i], i + 1);
}

TEST(Parms, ListsInsideSkippedListsAreBounded)
{
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  std::string deep = hex("5B 00") + std::string(5000, '[') + std::string(5000, ']') + std::string(1, ']') + "z";
  t.feed(deep);
  EXPECT_EQ(c.sk_parms(nullptr), ERR_DECODE);
}

TEST(Parms, PointerListsAndVarargs)
{
  MemoryTransport out, in;
  BinClient client(&out, T::kFields);
  int number = -5;
  SEBinary data("\x01\x02", 2);
  unsigned rid;
  ASSERT_EQ(client.wr_call_lst(nullptr, kCallHeader, 4, rid, T::CALL, static_cast<void*>(&number),
                               static_cast<void*>(&data)),
            OK);
  EXPECT_EQ(to_hex(out.output_string()), "5A 52 00 01 00 69 01 09 42 02 02 01 02 7A");
  in.feed(out.output_string().substr(5));
  BinServer server(nullptr, &in, T::kFields);
  int got_number = 0;
  SEBinary got_data;
  ASSERT_EQ(server.rd_parms_lst(nullptr, T::CALL, static_cast<void*>(&got_number), static_cast<void*>(&got_data)),
            OK);
  EXPECT_EQ(got_number, -5);
  EXPECT_TRUE(got_data == data);
  // The array form of the same.
  out.clear_output();
  const void* ptrs[] = {&number, &data};
  ASSERT_EQ(client.wr_parms_lst(nullptr, T::CALL, true, ptrs), OK);
  EXPECT_EQ(to_hex(out.output_string()), "69 01 09 42 02 02 01 02 7A");
  in.feed(out.output_string());
  void* dests[] = {&got_number, &got_data};
  got_number = 0;
  ASSERT_EQ(server.rd_parms_lst(nullptr, T::CALL, dests), OK);
  EXPECT_EQ(got_number, -5);
}

TEST(Parms, RequestIdsCountUpAndWrap)
{
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  unsigned rid = 99;
  for (unsigned expect = 0; expect < 3; ++expect) {
    ASSERT_EQ(c.wr_call(nullptr, kCallHeader, 4, rid), OK);
    EXPECT_EQ(rid, expect);
  }
  EXPECT_EQ(to_hex(t.output_string()), "5A 52 00 01 00 7A 5A 52 00 01 01 7A 5A 52 00 01 02 7A");
}

// A write that fails stops the message; the failure is reported even when the
// transport's end of encoding claims success.
TEST(Parms, WriteFailuresAreReported)
{
  T::Everything rec = full_record();
  size_t full = encode_response(rec).size() + 3;
  for (size_t budget : {size_t(0), size_t(1), size_t(3), full / 2, full - 1}) {
    MemoryTransport t;
    BinServer s(nullptr, &t, T::kFields);
    t.fail_writes_after(static_cast<long>(budget));
    EXPECT_EQ(s.wr_response(nullptr, 1, &rec, T::EVERYTHING), ERR_ENCODE) << budget;
    EXPECT_EQ(t.counters().end_encoding, 1u);
    // The next message starts clean.
    t.fail_writes_after(-1);
    t.clear_output();
    EXPECT_EQ(s.wr_response(nullptr, 2), OK);
    EXPECT_EQ(to_hex(t.output_string()), "5A 72 02 7A");
  }
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  t.fail_end_encoding(true);
  unsigned rid;
  EXPECT_EQ(c.wr_call(nullptr, kCallHeader, 4, rid), ERR_ENCODE);
}

TEST(Parms, EmptyListThatIsNotDefaultIsWritten)
{
  static const Sid::Field table[] = {
      Sid::Field::first(3, 'i', 2, &Sid::FieldHelpers::never_default<SEIntList>,
                        &Sid::FieldHelpers::set_default<SEIntList>, true),
      Sid::FieldHelpers::list_helper<SEIntList>(),
  };
  MemoryTransport t;
  BinServer s(nullptr, &t, table);
  SEIntList empty;
  ASSERT_EQ(s.wr_response(nullptr, 0, &empty, 0), OK);
  EXPECT_EQ(to_hex(t.output_string()), "5A 72 00 5B 03 5D 7A");
}

}  // namespace
