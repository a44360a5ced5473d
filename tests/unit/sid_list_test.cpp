// The list and dictionary families and SEPMap.
#include <gtest/gtest.h>

#include "VoiceHost/sid/types/SEDict.h"
#include "VoiceHost/sid/types/SEIntList.h"
#include "VoiceHost/sid/types/SEPMap.h"
#include "VoiceHost/sid/types/SEStringList.h"

namespace {

SEIntList ints(std::initializer_list<int> values)
{
  SEIntList l;
  for (int v : values) l.append(v);
  return l;
}

TEST(SEIntList, OutOfRangeAndRemoval)
{
  SEIntList l = ints({5, 6, 7});
  const SEIntList& cl = l;
  EXPECT_EQ(l.size(), 3u);
  EXPECT_EQ(cl[1], 6);
  EXPECT_EQ(cl[3], 0);
  EXPECT_EQ(l[3], 0);
  l[3] = 99;  // out of range: goes nowhere
  EXPECT_EQ(l[3], 0);
  EXPECT_EQ(l.size(), 3u);
  EXPECT_EQ(l.find_pos(7), 2);
  EXPECT_EQ(l.find_pos(8), -1);
  EXPECT_TRUE(l.contains(5));
  EXPECT_FALSE(l.remove_pos(3));
  EXPECT_TRUE(l.remove_val(6));
  EXPECT_EQ(l.size(), 2u);
  EXPECT_EQ(l.peek(), 5);
  EXPECT_EQ(l.peek(), 7);
  EXPECT_EQ(l.size(), 0u);
  EXPECT_EQ(l.at(0), nullptr);  // no body left
  EXPECT_EQ(l.peek(), 0);
}

TEST(SEIntList, SharingAndCopyOnWrite)
{
  SEIntList a = ints({1, 2});
  SEIntList b = a;
  EXPECT_EQ(a.at(0), b.at(0));  // shared
  b.append(3);
  EXPECT_EQ(a.size(), 2u);
  EXPECT_EQ(b.size(), 3u);
  SEIntList c = a;
  c[0] = 10;  // writing through the element detaches first
  EXPECT_EQ(static_cast<const SEIntList&>(a)[0], 1);
  EXPECT_EQ(static_cast<const SEIntList&>(c)[0], 10);
  SEIntList d = a;
  d.clear();
  EXPECT_EQ(d.size(), 0u);
  EXPECT_EQ(a.size(), 2u);
}

TEST(SEIntList, Resize)
{
  SEIntList l = ints({1, 2, 3});
  l.resize(5);
  EXPECT_EQ(l.size(), 5u);
  EXPECT_EQ(l[4], 0);
  l.resize(1);
  EXPECT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0], 1);
  l.resize(0);
  EXPECT_EQ(l.at(0), nullptr);
}

struct SplitCase {
  const char* text;
  char sep, esc;
  std::vector<const char*> fields;
};

TEST(SEStringList, Split)
{
  const SplitCase cases[] = {
      {"a,b,c", ',', 0, {"a", "b", "c"}},
      {",,a,,b,", ',', 0, {"a", "b"}},
      {"a\\,b,c", ',', '\\', {"a\\,b", "c"}},
      {"x \"y z\" w", ' ', '\\', {"x", "\"y z\"", "w"}},
      {"x \"y z\"", ' ', 0, {"x", "\"y", "z\""}},
      {"", ',', 0, {}},
  };
  for (const auto& c : cases) {
    SEStringList l = SEStringList::split(c.text, c.sep, c.esc);
    ASSERT_EQ(l.size(), c.fields.size()) << c.text;
    for (size_t i = 0; i < c.fields.size(); ++i) EXPECT_STREQ(l[i], c.fields[i]) << c.text;
  }
  SEIntList n = SEIntList::split("1 22  -3", ' ');
  ASSERT_EQ(n.size(), 3u);
  EXPECT_EQ(n[2], -3);
}

TEST(SEStringList, NullElementsJoinAndOutOfRange)
{
  SEStringList l;
  EXPECT_TRUE(l.join(",").isNull());
  l.append(SEString());
  l.append("a,b");
  EXPECT_FALSE(l[0].isNull());  // null is stored as ""
  EXPECT_STREQ(l.join(","), ",a,b");
  EXPECT_STREQ(l.join(";", true), ";a\\,b");
  EXPECT_TRUE(l[5].isNull());
  const SEStringList& cl = l;
  EXPECT_TRUE(cl[5].isNull());
  EXPECT_EQ(l.find_pos("a,b"), 1);
  SEStringList copy = l;
  copy.append("c");
  EXPECT_EQ(l.size(), 2u);
  EXPECT_STREQ(copy.peek(), "");
  EXPECT_EQ(copy.size(), 2u);
  l.resize(4);
  EXPECT_FALSE(l[3].isNull());
  EXPECT_STREQ(l[3], "");
  l.resize(1);
  EXPECT_EQ(l.size(), 1u);
}

TEST(SEIntDict, ReplacesAndOrdersByBucket)
{
  SEIntDict d;
  EXPECT_EQ(SEIntDict::bucket_count(), 17u);
  d.insert(18, "eighteen");  // bucket 1
  d.insert(1, "one");        // bucket 1, after 18
  d.insert(0, "zero");       // bucket 0
  d.insert(1, "uno");        // replaces
  EXPECT_EQ(d.size(), 3u);
  EXPECT_STREQ(d.value(1), "uno");
  EXPECT_EQ(d.keyAt(0), 0);
  EXPECT_EQ(d.keyAt(1), 18);
  EXPECT_EQ(d.keyAt(2), 1);
  EXPECT_STREQ(d[1], "eighteen");
  EXPECT_STREQ(d.format(), "0=\"zero\" 18=\"eighteen\" 1=\"uno\"");
  d.insert(5, "five", true);  // only existing: not added
  EXPECT_EQ(d.size(), 3u);
  d.insert(0, "nil", true);
  EXPECT_STREQ(d.value(0), "nil");
  d.insert(-1, "minus");  // bucket of 4294967295 % 17
  EXPECT_EQ(d.find(-1).key, -1);
  EXPECT_EQ(SEIntDict::bucket_of(-1), 4294967295u % 17);
  SEIntDict copy = d;
  EXPECT_TRUE(copy.remove(18));
  EXPECT_EQ(copy.size(), 3u);
  EXPECT_EQ(d.size(), 4u);
  EXPECT_FALSE(copy.remove(18));
  EXPECT_TRUE(d.value(99).isNull());
  SEIntList keys = d.keys();
  EXPECT_EQ(keys.size(), 4u);
}

TEST(SEObjDict, MultiMapKeepsBoth)
{
  SEObjDict d;
  EXPECT_EQ(SEObjDict::bucket_count(), 8123u);
  int a = 1, b = 2;
  d.insert(7, reinterpret_cast<SEObject*>(&a));
  d.insert(7, reinterpret_cast<SEObject*>(&b));
  d.insert(7 + 8123, nullptr);
  EXPECT_EQ(d.size(), 3u);
  EXPECT_EQ(d.find(7, 0).value, reinterpret_cast<SEObject*>(&a));
  EXPECT_EQ(d.find(7, 1).value, reinterpret_cast<SEObject*>(&b));
  EXPECT_EQ(d.find(7, 2).value, nullptr);
  EXPECT_EQ(d.keyAt(2), 7 + 8123);
  EXPECT_TRUE(d.remove(7));
  EXPECT_EQ(d.find(7, 0).value, reinterpret_cast<SEObject*>(&b));
  SEPtrIntDict p;
  p.insert(3, &a);
  p.insert(3, &b);
  EXPECT_EQ(p.size(), 2u);
  EXPECT_EQ(p.find(3, 1).value, &b);
}

TEST(SEPtrDict, StringKeysMultiMapAndNullKey)
{
  SEPtrDict d;
  int a = 1, b = 2;
  d.insert("alpha", &a);
  d.insert("alpha", &b);
  d.insert(SEString(), &a);  // ignored
  EXPECT_EQ(d.size(), 2u);
  EXPECT_EQ(d.find("alpha", 1).value, &b);
  EXPECT_EQ(SEPtrDict::bucket_of("alpha"), SEString("alpha").hash(17));
  EXPECT_EQ(d.value("beta"), nullptr);
  SEStringList keys = d.keys();
  EXPECT_STREQ(keys[0], "alpha");
}

TEST(SEPMap, MapsBothWays)
{
  static const SEPMap::Entry table[] = {{"ONE", 1}, {"TWO", 2}, {"UNO", 1}, {nullptr, 0}};
  SEPMap map(table);
  EXPECT_STREQ(map.map(1), "ONE");
  EXPECT_TRUE(map.map(3).isNull());
  EXPECT_EQ(map.map("TWO"), 2);
  EXPECT_EQ(map.map("THREE"), -1);
  EXPECT_EQ(map.map(static_cast<const char*>(nullptr)), -1);
}

}  // namespace
