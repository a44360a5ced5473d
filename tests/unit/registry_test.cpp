#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "Velmora/registry/Registry.h"

namespace {

class ChannelTest : public ::testing::Test {
protected:
  void SetUp() override { workchannels = 0; }
  void TearDown() override { workchannels = 0; }
};

TEST_F(ChannelTest, NoChannelsWhenMaxIsZeroOrLess) {
  EXPECT_EQ(GetChannel(0), -1);
  EXPECT_EQ(GetChannel(-3), -1);
  EXPECT_EQ(workchannels, 0u);
}

TEST_F(ChannelTest, HandsOutAtMost32) {
  for (int i = 1; i <= 32; ++i) EXPECT_EQ(GetChannel(40), i);
  EXPECT_EQ(GetChannel(40), -1);
  EXPECT_EQ(workchannels, 0xffffffffu);
}

TEST_F(ChannelTest, ReusesLowestFirst) {
  workchannels = 0x5;  // channels 1 and 3 busy
  EXPECT_EQ(GetChannel(4), 2);
  clearChannel(1);
  EXPECT_EQ(GetChannel(4), 1);
  EXPECT_EQ(GetChannel(4), 4);
  EXPECT_EQ(GetChannel(4), -1);
}

TEST_F(ChannelTest, ClearOutsideRangeChangesNothing) {
  workchannels = 0xffffffffu;
  clearChannel(0);
  clearChannel(33);
  clearChannel(-1);
  EXPECT_EQ(workchannels, 0xffffffffu);
  clearChannel(32);
  EXPECT_EQ(workchannels, 0x7fffffffu);
}

struct CmpCase {
  const char* s;
  const char* d;
  int len;
  int want;
};

TEST(StringHelpers, Cmpstr) {
  const CmpCase cases[] = {
      {"ALICE", "alice", 5, 1},  {"ALICE", "alice", 4, 0},  {"al", "alice", 5, 0},
      {"alice", "al", 5, 0},     {nullptr, "alice", 5, 0},  {"alice", nullptr, 5, 0},
      {"Bob_1", "bOB_1", 5, 1},  {"bob[", "bob{", 4, 0},    {"", "", 0, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cmpstr(c.s, c.d, c.len), c.want) << (c.s ? c.s : "(null)") << " vs " << (c.d ? c.d : "(null)")
                                                << " len " << c.len;
  }
}

TEST(StringHelpers, CheckSkypeAccount) {
  struct {
    const char* s;
    int len;
    int want;
  } cases[] = {
      {"0123456789", 10, 0}, {"alice2013", 9, 1}, {"", 0, 0},      {nullptr, 5, 0},
      {"123a", 2, 0},        {"123a", 3, 1},      {"12\xc3\xa9", 4, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(check_skypeaccount(c.s, c.len), c.want) << (c.s ? c.s : "(null)");
}

TEST(StringHelpers, FindChar) {
  const char* info = "Signal=5\r\nDuration=160\r\n";
  const char* at = find_char(info, "Signal=", 7);
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(*at, '5');

  // The first letter of the text also occurs just before the match.
  const char* src = "aab";
  EXPECT_EQ(find_char(src, "ab", 2), src + 3);

  EXPECT_EQ(find_char("no such text", "Signal=", 7), nullptr);
  EXPECT_EQ(find_char(nullptr, "x", 1), nullptr);
  EXPECT_EQ(find_char("x", nullptr, 1), nullptr);
  EXPECT_STREQ(find_char("DEBUGINFO ObjID: 42", "ObjID:", 6), " 42");
}

TEST(Registry, UserKeysSortAsStrings) {
  std::map<std::string, S_User> table;
  for (int i = 1; i <= 12; ++i) table[std::to_string(i)].userid = i;
  std::vector<int> order;
  for (const auto& [key, user] : table) order.push_back(user.userid);
  EXPECT_EQ(order, (std::vector<int>{1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(Registry, QueuedRecordIsASnapshot) {
  v_cdr.clear();
  v_state.clear();
  countcdr = 0;
  S_User user;
  user.peer = "1001";
  user.channel = 3;
  snprintf(user.phone, sizeof user.phone, "%s", "5551234");
  addcdr(user);
  addstate(user);
  user.peer.clear();
  user.channel = 0;
  memset(user.phone, 0, sizeof user.phone);
  ASSERT_EQ(v_cdr.size(), 1u);
  ASSERT_EQ(v_state.size(), 1u);
  EXPECT_EQ(v_cdr[0].peer, "1001");
  EXPECT_EQ(v_cdr[0].channel, 3);
  EXPECT_STREQ(v_cdr[0].phone, "5551234");
  EXPECT_EQ(v_state[0].peer, "1001");
  EXPECT_EQ(countcdr, 2);
  v_cdr.clear();
  v_state.clear();
  countcdr = 0;
}

TEST(Registry, ChannelCountFromEnvironment) {
  struct {
    const char* value;
    int want;
  } cases[] = {{nullptr, 32}, {"", 32}, {"0", 0}, {"4", 4}, {"32", 32}, {"33", 32}, {"-1", 32}, {"4x", 32}};
  for (const auto& c : cases) {
    if (c.value)
      setenv("VELMORA_CHANNELS", c.value, 1);
    else
      unsetenv("VELMORA_CHANNELS");
    EXPECT_EQ(gw_channel_count(), c.want) << (c.value ? c.value : "(unset)");
  }
  unsetenv("VELMORA_CHANNELS");
}

}  // namespace
