// SEString, SEFilename and SEBinary: null versus empty, sharing and
// copy-on-write, the text operations and the binary escape.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VoiceHost/sid/types/SEBinary.h"
#include "VoiceHost/sid/types/SEString.h"

namespace {

TEST(SEString, NullAndEmptyAreDifferentValues)
{
  SEString null_string;
  SEString from_null(static_cast<const char*>(nullptr));
  SEString empty("");
  EXPECT_TRUE(null_string.isNull());
  EXPECT_TRUE(from_null.isNull());
  EXPECT_FALSE(empty.isNull());
  EXPECT_FALSE(null_string == empty);
  EXPECT_TRUE(null_string == from_null);
  EXPECT_EQ(null_string.length(), 0u);
  EXPECT_EQ(empty.length(), 0u);
  ASSERT_NE(null_string.data(), nullptr);
  EXPECT_STREQ(null_string.data(), "");
  EXPECT_TRUE(null_string.equals(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(empty.equals(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(null_string.equals(""));
  EXPECT_TRUE(empty.equals(""));
}

TEST(SEString, AppendRules)
{
  SEString s;
  s += "x";
  EXPECT_STREQ(s, "x");
  s += static_cast<const char*>(nullptr);
  EXPECT_STREQ(s, "x");
  s += SEString();
  EXPECT_STREQ(s, "x");
  SEString n;
  n += SEString("ab");
  EXPECT_STREQ(n, "ab");
  s += s;  // appending itself
  EXPECT_STREQ(s, "xx");
  std::string expect;
  SEString grow("");
  for (int i = 0; i < 200; ++i) {
    grow += "abc";
    expect += "abc";
  }
  EXPECT_EQ(std::string(grow.data()), expect);
  EXPECT_STREQ(SEString("a") + SEString("b") + "c", "abc");
}

TEST(SEString, CopyOnWriteLeavesTheOriginal)
{
  SEString a("hello");
  SEString b(a);
  EXPECT_EQ(a.data(), b.data());  // shared text
  b += " world";
  EXPECT_STREQ(a, "hello");
  EXPECT_STREQ(b, "hello world");
  SEString c;
  c = a;
  c = "other";
  EXPECT_STREQ(a, "hello");
  SEString d = a.deepCopy();
  EXPECT_NE(d.data(), a.data());
  EXPECT_TRUE(d == a);
  a = a.data();  // assigning its own text
  EXPECT_STREQ(a, "hello");
}

TEST(SEString, SharedTextUsedOnManyThreads)
{
  SEString shared("shared text");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([shared]() {
      for (int i = 0; i < 2000; ++i) {
        SEString copy(shared);
        copy += "!";
        ASSERT_STREQ(copy, "shared text!");
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_STREQ(shared, "shared text");
}

struct SubstrCase {
  const char* text;
  int from, to;
  const char* expect;
};

TEST(SEString, Substr)
{
  const SubstrCase cases[] = {
      {"abc", 0, -1, "ab"}, {"abc", 2, 0, "abc"}, {"abc", -5, 1, "ab"}, {"abc", 1, 99, "bc"},
      {"abc", 1, 1, "b"},   {"abcdef", 2, -2, "cd"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(SEString(c.text).substr(c.from, c.to), c.expect) << c.text << " " << c.from << " " << c.to;
  }
  EXPECT_TRUE(SEString().substr(0, 2).isNull());
}

TEST(SEString, Conversions)
{
  EXPECT_STREQ(SEString::from(255u, 16), "FF");
  EXPECT_STREQ(SEString::from(255u, 10), "255");
  EXPECT_STREQ(SEString::from(255u), "255");
  EXPECT_STREQ(SEString::from(-17), "-17");
  EXPECT_STREQ(SEString::from(18446744073709551615ull), "18446744073709551615");
  EXPECT_STREQ(SEString::from(true), "1");
  EXPECT_STREQ(SEString::from(false), "0");
  EXPECT_STREQ(SEString::from(static_cast<unsigned char>('q')), "q");
  EXPECT_EQ(SEString("42").toInt(), 42);
  EXPECT_EQ(SEString("-42").toInt(), -42);
  EXPECT_EQ(SEString().toInt(), 0);
  EXPECT_EQ(SEString("4294967295").toUInt(), 4294967295u);
  EXPECT_EQ(SEString("18446744073709551615").toUInt64(), 18446744073709551615ull);
  EXPECT_EQ(SEString().toUInt64(), 0u);
  EXPECT_TRUE(SEString("7").toBool());
  EXPECT_FALSE(SEString("0").toBool());
  EXPECT_FALSE(SEString().toBool());
}

TEST(SEString, FormatShortAndLong)
{
  SEString s;
  s.Format("%d-%s", 5, "x");
  EXPECT_STREQ(s, "5-x");
  std::string big(3000, 'a');
  s.Format("<%s>", big.c_str());
  EXPECT_EQ(std::string(s.data()), "<" + big + ">");
  std::string exact(1023, 'b');  // 1023 characters fit the 1024-byte buffer
  s.Format("%s", exact.c_str());
  EXPECT_EQ(s.length(), 1023u);
  std::string over(1024, 'c');
  s.Format("%s", over.c_str());
  EXPECT_EQ(s.length(), 1024u);
}

TEST(SEString, SearchAndPrefix)
{
  SEString s("key=value");
  EXPECT_EQ(s.find('='), 3);
  EXPECT_EQ(s.find(4, 'e'), 8);
  EXPECT_EQ(s.find('#'), -1);
  EXPECT_EQ(SEString().find('a'), -1);
  EXPECT_TRUE(s.startWith("key"));
  EXPECT_TRUE(s.startWith(""));
  EXPECT_FALSE(s.startWith("value"));
  EXPECT_FALSE(SEString().startWith(""));
  EXPECT_STREQ(s.trim("key="), "value");
  EXPECT_STREQ(s.trim("nope"), "key=value");
  EXPECT_STREQ(s.right(5), "value");
  EXPECT_STREQ(s.right(100), "key=value");
  EXPECT_STREQ(SEString::keyValue("k", "v"), "k=\"v\" ");
  EXPECT_TRUE(SEString::keyValue(SEString(), "v").isNull());
}

// The ELF hash of a string, computed independently for the expectation.
unsigned elf(const char* s, unsigned n)
{
  unsigned h = 0;
  for (; *s; ++s) {
    h = (h << 4) + static_cast<unsigned>(static_cast<signed char>(*s));
    unsigned g = h & 0xF0000000u;
    if (g) h ^= g >> 24;
    h &= ~g;
  }
  return h % n;
}

TEST(SEString, Hash)
{
  EXPECT_EQ(SEString("a").hash(17), 97u % 17);
  EXPECT_EQ(SEString("ab").hash(1000), (97u * 16 + 98) % 1000);
  const char* long_text = "a rather long string that folds the top bits back in";
  EXPECT_EQ(SEString(long_text).hash(8123), elf(long_text, 8123));
  const char high[] = {static_cast<char>(0xE9), 'x', 0};  // a negative char
  EXPECT_EQ(SEString(high).hash(17), elf(high, 17));
  EXPECT_EQ(SEString().hash(17), 0u);
}

TEST(SEString, EscapeRoundTrip)
{
  SEString s("a,b\"c\\d");
  EXPECT_STREQ(s.escape(), "a\\,b\\\"c\\\\d");
  EXPECT_STREQ(s.escape().unescape(), "a,b\"c\\d");
  EXPECT_STREQ(SEString("\\x\\").unescape(), "x");
}

TEST(SEString, EscapedBinary)
{
  const char bytes[] = {'a', '\0', ',', static_cast<char>(0xFF), '\\'};
  SEString s = SEString::from(bytes, sizeof bytes);
  EXPECT_TRUE(s.isBinary());
  EXPECT_STREQ(s, "a\\0\\,\xFF\\\\");
  char out[16];
  ASSERT_EQ(s.toBinary(out), sizeof bytes);
  EXPECT_EQ(memcmp(out, bytes, sizeof bytes), 0);
  EXPECT_STREQ(s.getHexRepresentation(), "61002cff5c");
  EXPECT_TRUE(SEString("plain").getHexRepresentation().isNull());
  SEString copy(s);
  copy += "x";
  EXPECT_TRUE(copy.isBinary());  // detaching keeps the mark
  SEString marked("ab");
  marked.markAsBinary();
  EXPECT_TRUE(marked.isBinary());
  EXPECT_EQ(s.toBinary(out, 2), 2u);  // bounded form
}

TEST(SEFilename, IsAString)
{
  SEFilename f("dir/file.txt");
  SEString s = f;
  EXPECT_STREQ(s, "dir/file.txt");
  SEFilename g(s);
  EXPECT_TRUE(g == f);
  EXPECT_TRUE(SEFilename().isNull());
}

TEST(SEBinary, CopyResizeSet)
{
  const char bytes[] = {1, 2, 3, 4};
  SEBinary a(bytes, 4);
  SEBinary b(a);
  EXPECT_TRUE(a == b);
  EXPECT_NE(a.data(), b.data());  // never shared
  b.data()[0] = 9;
  EXPECT_EQ(a.data()[0], 1);
  EXPECT_FALSE(a == b);
  b.resize(4);
  EXPECT_EQ(b.size(), 4u);
  b.resize(0);
  EXPECT_EQ(b.size(), 0u);
  EXPECT_EQ(b.data(), nullptr);
  b.set(bytes, 2);
  EXPECT_EQ(b.size(), 2u);
  EXPECT_EQ(b.data()[1], 2);
  b.set_at_offset(3, bytes, 2);  // grows to 5
  EXPECT_EQ(b.size(), 5u);
  EXPECT_EQ(b.data()[3], 1);
  EXPECT_EQ(b.data()[4], 2);
  b.set_at_offset(0, nullptr, 3);
  b.set_at_offset(0, bytes, 0);
  b.set_at_offset(1, b.data(), 2);  // its own buffer: ignored
  EXPECT_EQ(b.size(), 5u);
  EXPECT_EQ(b.data()[1], 2);
  SEBinary c;
  c = a;
  EXPECT_TRUE(c == a);
  const unsigned char ub[] = {0xAA, 0xBB};
  SEBinary d(ub, 2);
  EXPECT_EQ(static_cast<unsigned char>(d.data()[1]), 0xBB);
  EXPECT_TRUE(SEBinary() == SEBinary());
}

}  // namespace
