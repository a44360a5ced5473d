// The event buffer's growing circular byte ring.
#include <gtest/gtest.h>

#include <string>

#include "VoiceHost/sid/protocol/GrowingCircularBuffer.h"

namespace {

using Sid::Protocol::GrowingCircularBuffer;

std::string drain(GrowingCircularBuffer& b)
{
  std::string out(b.size(), '\0');
  EXPECT_EQ(b.read(out.data(), static_cast<unsigned>(out.size())), out.size());
  return out;
}

TEST(GrowingCircularBuffer, KeepsOrderAcrossWrapAndGrowth)
{
  GrowingCircularBuffer b;
  EXPECT_EQ(b.capacity(), 512u);
  std::string expect;
  // advance the positions so that later writes wrap around the end
  for (int i = 0; i < 400; ++i) b.write('x');
  char sink[400];
  EXPECT_EQ(b.read(sink, 399), 399u);
  expect = "x";
  for (int i = 0; i < 300; ++i) {
    char c = static_cast<char>('a' + i % 26);
    b.write(c);
    expect += c;
  }
  EXPECT_EQ(b.capacity(), 512u);
  std::string more(700, 'm');
  b.write(more.data(), static_cast<unsigned>(more.size()));  // reserve grows it
  expect += more;
  EXPECT_EQ(b.capacity(), 1024u);
  EXPECT_EQ(b.size(), expect.size());
  EXPECT_EQ(drain(b), expect);
  EXPECT_EQ(b.capacity(), 512u);  // drained: back to 512
}

TEST(GrowingCircularBuffer, DoublesWhenFull)
{
  GrowingCircularBuffer b;
  for (int i = 0; i < 512; ++i) b.write('a');
  EXPECT_EQ(b.capacity(), 512u);
  b.write('b');
  EXPECT_EQ(b.capacity(), 1024u);
  b.reserve(5000);
  EXPECT_EQ(b.capacity(), 8192u);
  char c;
  for (int i = 0; i < 512; ++i) ASSERT_TRUE(b.read(c));
  EXPECT_TRUE(b.read(c));
  EXPECT_EQ(c, 'b');
  EXPECT_FALSE(b.read(c));
  EXPECT_EQ(b.capacity(), 512u);
}

TEST(GrowingCircularBuffer, PiecesCommitAndTruncate)
{
  GrowingCircularBuffer b;
  for (int i = 0; i < 500; ++i) b.write('p');
  char sink[500];
  b.read(sink, 490);  // read position near the end
  b.reserve(100);
  char* first;
  char* second;
  unsigned first_len, second_len;
  b.free_pieces(first, first_len, second, second_len);
  ASSERT_GE(first_len + second_len, 100u);
  std::string data(100, 'q');
  unsigned a = first_len < 100 ? first_len : 100;
  memcpy(first, data.data(), a);
  memcpy(second, data.data() + a, 100 - a);
  b.commit(100);
  EXPECT_EQ(b.size(), 110u);
  b.truncate(10);
  EXPECT_EQ(b.size(), 10u);
  EXPECT_EQ(drain(b), std::string(10, 'p'));
  EXPECT_EQ(b.read(nullptr, 5), 0u);  // reads return at most what is held
  b.write("abc", 3);
  EXPECT_EQ(b.read(nullptr, 10), 3u);
}

}  // namespace
