// The file layer: line splitting, opens and their locks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "tests/unit/TestFiles.h"

namespace {

struct SplitCase {
  std::string input;
  int result;
  std::vector<std::string> lines;
};

TEST(GwGetline, SplitsKeepingTheBreakAndSkippingRuns) {
  const SplitCase cases[] = {
      {"a\nb", 0, {"a\n", "b"}},
      {"a\r\nb\r\n", 0, {"a\r", "b\r"}},
      {"\n\n[x]\r\n\r\n\nk=v\n", 0, {"\n", "[x]\r", "k=v\n"}},
      {"single", 0, {"single"}},
      {"x", 0, {"x"}},
      {"\r", 0, {"\r"}},
      {std::string("a\nb\0c\n", 6), -1, {}},
      {std::string("\0", 1), -1, {}},
  };
  for (const auto& c : cases) {
    char** lines = nullptr;
    int count = -7;
    ASSERT_EQ(gw_getline(&lines, &count, c.input.data(), static_cast<int>(c.input.size())), c.result)
        << c.input;
    if (c.result != 0) {
      EXPECT_EQ(lines, nullptr);
      EXPECT_EQ(count, -7);
      continue;
    }
    ASSERT_EQ(count, static_cast<int>(c.lines.size())) << c.input;
    for (int i = 0; i < count; ++i) EXPECT_EQ(lines[i], c.lines[static_cast<size_t>(i)]);
    gw_free_strarray(lines, count);
  }
}

TEST(GwGetline, GrowsPastManyLinesAndRejectsBadArguments) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line" + std::to_string(i) + "\n";
  char** lines = nullptr;
  int count = 0;
  ASSERT_EQ(gw_getline(&lines, &count, text.data(), static_cast<int>(text.size())), 0);
  ASSERT_EQ(count, 100);
  EXPECT_STREQ(lines[99], "line99\n");
  gw_free_strarray(lines, count);

  EXPECT_EQ(gw_getline(&lines, &count, text.data(), 0), -1);
  EXPECT_EQ(gw_getline(nullptr, &count, text.data(), 4), -1);
  EXPECT_EQ(gw_getline(&lines, nullptr, text.data(), 4), -1);
  EXPECT_EQ(gw_getline(&lines, &count, nullptr, 4), -1);
  gw_free_strarray(nullptr, 3);
}

TEST(GwFopen, ModesAndArguments) {
  TempDir tmp;
  std::string f = tmp.path("a.conf");
  EXPECT_EQ(gw_fopen(f.c_str(), 0, "r"), -1);  // missing
  EXPECT_EQ(gw_fopen(f.c_str(), GW_CREATE, "a"), -1);
  EXPECT_EQ(gw_fopen(nullptr, GW_CREATE, "w"), -1);
  EXPECT_EQ(gw_fopen(f.c_str(), GW_CREATE, nullptr), -1);
  EXPECT_FALSE(file_exists(f));

  int fd = gw_fopen(f.c_str(), GW_CREATE, "w");
  ASSERT_GT(fd, 0);
  EXPECT_EQ(gw_fwrite(fd, "hello", 5), 5);
  EXPECT_EQ(gw_fwrite(fd, nullptr, 5), -1);
  EXPECT_EQ(gw_fwrite(fd, "x", 0), -1);
  EXPECT_EQ(gw_fsize(fd), 5);
  EXPECT_EQ(gw_fclose(fd), 0);

  fd = gw_fopen(f.c_str(), GW_CREATE, "r");  // flags ignored: nothing emptied
  ASSERT_GT(fd, 0);
  char buf[8] = {};
  EXPECT_EQ(gw_fread(fd, buf, 8), 5);
  EXPECT_EQ(gw_fread(fd, nullptr, 8), -1);
  gw_fclose(fd);
  EXPECT_EQ(read_file(f), "hello");
  EXPECT_EQ(gw_fsize(-1), -1);
}

TEST(GwFopen, LockOfAnotherProcessRefusesTheOpenAndTruncatesNothing) {
  TempDir tmp;
  std::string f = tmp.path("locked.conf");
  write_file(f, "keep me\n");
  {
    LockHolder holder(f, true);
    ASSERT_TRUE(holder.held());
    EXPECT_EQ(gw_fopen(f.c_str(), 0, "r"), -1);
    EXPECT_EQ(gw_fopen(f.c_str(), GW_REWRITE, "w"), -1);
    EXPECT_EQ(gw_fopen(f.c_str(), GW_CREATE, "w"), -1);
    EXPECT_EQ(read_file(f), "keep me\n");
  }
  {
    LockHolder reader(f, false);  // a shared lock lets readers in, writers not
    ASSERT_TRUE(reader.held());
    int fd = gw_fopen(f.c_str(), 0, "r");
    EXPECT_GT(fd, 0);
    gw_fclose(fd);
    EXPECT_EQ(gw_fopen(f.c_str(), GW_REWRITE, "w"), -1);
  }
  int fd = gw_fopen(f.c_str(), GW_REWRITE, "w");  // released: O_TRUNC now applies
  ASSERT_GT(fd, 0);
  EXPECT_EQ(gw_fsize(fd), 0);
  gw_fclose(fd);
}

TEST(GwLoadLines, EmptyMissingAndRetriedFiles) {
  TempDir tmp;
  FileLines missing;
  EXPECT_EQ(gw_load_lines(tmp.path("none"), "Read", missing), -1);

  write_file(tmp.path("empty"), "");
  FileLines empty;
  EXPECT_EQ(gw_load_lines(tmp.path("empty"), "Read", empty), 0);
  EXPECT_EQ(empty.count, 0);

  write_file(tmp.path("two"), "[a]\nk=v\n");
  LockHolder holder(tmp.path("two"));
  FileLines locked;
  EXPECT_EQ(gw_load_lines(tmp.path("two"), "Read", locked), -1);
  holder.release();
  FileLines two;
  ASSERT_EQ(gw_load_lines(tmp.path("two"), "Read", two), 0);
  EXPECT_EQ(two.count, 2);
}

}  // namespace
