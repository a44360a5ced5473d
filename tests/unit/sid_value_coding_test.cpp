// Value coding of the binary protocol: varints, zigzag, 64-bit values, strings
// and binaries, each checked byte for byte both ways, and the failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "VoiceHost/sid/protocol/BinCommon.h"
#include "VoiceHost/sid/protocol/MemoryTransport.h"
#include "tests/unit/SidTestBytes.h"
#include "tests/unit/SidTestTables.h"

namespace {

using Sid::MemoryTransport;
using Sid::Protocol::BinCommon;
using Sid::Protocol::ERR_DECODE;
using Sid::Protocol::OK;
using SidTest::hex;
using SidTest::to_hex;

struct Coder {
  MemoryTransport transport;
  BinCommon protocol{nullptr, &transport, SidTest::kFields};

  template <class T>
  std::string encode(const T& value)
  {
    transport.clear_output();
    EXPECT_EQ(protocol.start_encoding(nullptr), OK);
    EXPECT_EQ(protocol.wr_value(nullptr, value), OK);
    EXPECT_EQ(protocol.finish_encoding(nullptr, true), OK);
    return transport.output_string();
  }
  void feed(const std::string& bytes)
  {
    transport.clear_input();
    transport.feed(bytes);
  }
};

struct UintCase {
  uint32_t value;
  const char* bytes;
};

TEST(ValueCoding, Varint32BothWays)
{
  const UintCase cases[] = {
      {0, "00"}, {1, "01"}, {127, "7F"}, {128, "80 01"}, {300, "AC 02"}, {16383, "FF 7F"}, {16384, "80 80 01"},
      {4294967295u, "FF FF FF FF 0F"},
  };
  Coder c;
  for (const auto& tc : cases) {
    EXPECT_EQ(to_hex(c.encode(tc.value)), to_hex(hex(tc.bytes))) << tc.value;
    c.feed(hex(tc.bytes));
    unsigned back = 12345;
    EXPECT_EQ(c.protocol.rd_value(nullptr, back), OK) << tc.bytes;
    EXPECT_EQ(back, tc.value);
    EXPECT_EQ(c.transport.available(), 0u);
  }
}

struct IntCase {
  int32_t value;
  const char* bytes;
};

TEST(ValueCoding, ZigzagBothWays)
{
  const IntCase cases[] = {
      {0, "00"},  {-1, "01"}, {1, "02"}, {-2, "03"}, {3, "06"}, {-64, "7F"}, {64, "80 01"},
      {2147483647, "FE FF FF FF 0F"}, {-2147483647 - 1, "FF FF FF FF 0F"},
  };
  Coder c;
  for (const auto& tc : cases) {
    EXPECT_EQ(to_hex(c.encode(tc.value)), to_hex(hex(tc.bytes))) << tc.value;
    c.feed(hex(tc.bytes));
    int back = 12345;
    EXPECT_EQ(c.protocol.rd_value(nullptr, back), OK);
    EXPECT_EQ(back, tc.value);
  }
}

struct U64Case {
  uint64_t value;
  const char* bytes;
};

TEST(ValueCoding, Varint64BothWays)
{
  const U64Case cases[] = {
      {0, "00"},
      {300, "AC 02"},
      {4294967296ull, "80 80 80 80 10"},
      {18446744073709551615ull, "FF FF FF FF FF FF FF FF FF 01"},
  };
  Coder c;
  for (const auto& tc : cases) {
    EXPECT_EQ(to_hex(c.encode(tc.value)), to_hex(hex(tc.bytes)));
    c.feed(hex(tc.bytes));
    uint64_t back = 1;
    EXPECT_EQ(c.protocol.rd_value(nullptr, back), OK);
    EXPECT_EQ(back, tc.value);
  }
}

struct BadCase {
  const char* bytes;
  const char* why;
};

TEST(ValueCoding, BadVarintsFail)
{
  const BadCase bad32[] = {
      {"FF FF FF FF 1F", "bits above 31"},
      {"FF FF FF FF 8F", "continuation on the fifth byte"},
      {"80 80 80 80 80 00", "six bytes"},
      {"80", "truncated"},
      {"", "nothing"},
  };
  Coder c;
  for (const auto& tc : bad32) {
    c.feed(hex(tc.bytes));
    unsigned v;
    EXPECT_EQ(c.protocol.rd_value(nullptr, v), ERR_DECODE) << tc.why;
  }
  const BadCase bad64[] = {
      {"FF FF FF FF FF FF FF FF FF 02", "bits above 63"},
      {"FF FF FF FF FF FF FF FF FF 81 00", "eleven bytes"},
      {"FF FF", "truncated"},
  };
  for (const auto& tc : bad64) {
    c.feed(hex(tc.bytes));
    uint64_t v;
    EXPECT_EQ(c.protocol.rd_value(nullptr, v), ERR_DECODE) << tc.why;
  }
}

TEST(ValueCoding, Strings)
{
  Coder c;
  EXPECT_EQ(to_hex(c.encode(SEString("abc"))), "03 61 62 63");
  EXPECT_EQ(to_hex(c.encode(SEString(""))), "00");
  EXPECT_EQ(to_hex(c.encode(SEString())), "00");
  std::string text(300, 'q');
  std::string wire = c.encode(SEString(text.c_str()));
  ASSERT_EQ(wire.size(), 302u);
  EXPECT_EQ(to_hex(wire.substr(0, 2)), "AC 02");
  EXPECT_EQ(wire.substr(2), text);

  c.feed(wire);
  SEString back("previous");
  SEString keep = back;
  EXPECT_EQ(c.protocol.rd_value(nullptr, back), OK);
  EXPECT_EQ(std::string(back.data()), text);
  EXPECT_STREQ(keep, "previous");  // a shared destination is not written through

  c.feed(hex("00"));
  EXPECT_EQ(c.protocol.rd_value(nullptr, back), OK);
  EXPECT_TRUE(back.isNull());  // zero length reads as the null string

  SEFilename f;
  c.feed(hex("02 61 62"));
  EXPECT_EQ(c.protocol.rd_value(nullptr, f), OK);
  EXPECT_STREQ(f, "ab");
}

TEST(ValueCoding, Binaries)
{
  Coder c;
  const char bytes[] = {'\0', '\x01', '\xFF'};
  EXPECT_EQ(to_hex(c.encode(SEBinary(bytes, 3))), "03 00 01 FF");
  EXPECT_EQ(to_hex(c.encode(SEBinary())), "00");
  c.feed(hex("03 00 01 FF"));
  SEBinary back;
  EXPECT_EQ(c.protocol.rd_value(nullptr, back), OK);
  EXPECT_TRUE(back == SEBinary(bytes, 3));
  c.feed(hex("00"));
  EXPECT_EQ(c.protocol.rd_value(nullptr, back), OK);
  EXPECT_EQ(back.size(), 0u);  // a zero-length binary empties the destination
}

// A length prefix far beyond the input fails when the input runs out; the
// destination grows only with bytes that arrived.
TEST(ValueCoding, HugeLengthPrefixFailsCleanly)
{
  const char* prefixes[] = {"FF FF FF FF 0F 61 62 63", "80 80 80 40 61", "FF FF 03"};
  Coder c;
  for (const char* p : prefixes) {
    c.feed(hex(p));
    SEString s("x");
    EXPECT_EQ(c.protocol.rd_value(nullptr, s), ERR_DECODE) << p;
    EXPECT_TRUE(s.isNull());
    EXPECT_LE(s.capacity(), 65537u);
    c.feed(hex(p));
    SEBinary b;
    EXPECT_EQ(c.protocol.rd_value(nullptr, b), ERR_DECODE) << p;
    EXPECT_EQ(b.size(), 0u);
    c.feed(hex(p));
    EXPECT_EQ(c.protocol.sk_value('S', nullptr), ERR_DECODE) << p;
  }
}

TEST(ValueCoding, KindsWithoutFunctionsFail)
{
  Coder c;
  const unsigned char no_kind[] = {0, 'm', 'd', 'o', 't', 'Q', 0xFF};
  for (unsigned char k : no_kind) {
    c.feed(hex("00 00 00"));
    int dest = 0;
    EXPECT_EQ(c.protocol.rd_value(k, nullptr, &dest, 0), ERR_DECODE) << int(k);
    EXPECT_EQ(c.protocol.sk_value(k, nullptr), ERR_DECODE) << int(k);
    EXPECT_EQ(c.protocol.wr_value(k, nullptr, &dest, 0), Sid::Protocol::ERR_ENCODE) << int(k);
  }
  // 'N', 'T' and 'F' have nothing to skip.
  for (unsigned char k : {'N', 'T', 'F'}) EXPECT_EQ(c.protocol.sk_value(k, nullptr), OK);
  bool flag = false;
  EXPECT_EQ(c.protocol.rd_value('T', nullptr, &flag, 0), OK);
  EXPECT_TRUE(flag);
  EXPECT_EQ(c.protocol.rd_value('F', nullptr, &flag, 0), OK);
  EXPECT_FALSE(flag);
}

}  // namespace
