// The record writer: the channel state file and the call record queue, one
// pass at a time.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Tools/ChannelState.h"
#include "Tools/ReadXml.h"
#include "Velmora/RecordWriter.h"
#include "Velmora/registry/Clock.h"
#include "tests/unit/RecordQueueReset.h"
#include "tests/unit/TestFiles.h"

namespace {

std::string idle(int ch) {
  return "[" + std::to_string(ch) + "]\nst=1\nct=0\nskpr=\nsip=\nsippr=\nsk=\n";
}

class Writer : public ::testing::Test {
protected:
  RecordQueueReset reset;

  static S_User state(int channel, int status, const std::string& peer = "200") {
    S_User u;
    u.channel = channel;
    u.status = status;
    u.calltype = CALL_SIP_TO_SKYPE;
    u.skypepeer = "echo123";
    u.sipuserid = "alice";
    u.peer = peer;
    u.skypeuser = "gw.sk";
    return u;
  }

  static S_User finished(const std::string& peer) {
    S_User u = state(1, CHAN_IDLE, peer);
    u.callresult = RESULT_NOANSWER;
    u.start = 1773575000;
    u.end = 1773575030;
    return u;
  }

  std::string chanfile() { return read_file(tmp.path("channelsstate.conf")); }
  std::string cdrfile() { return read_file(tmp.path("cdr2026-03.conf")); }

  TempDir tmp;
  ReadXml rx{tmp.dir()};
};

TEST_F(Writer, StartsWithEveryChannelIdle) {
  write_file(tmp.path("channelsstate.conf"), "stale\n");
  RecordWriter writer(rx, 4);
  ASSERT_TRUE(writer.Start());
  EXPECT_EQ(chanfile(), idle(1) + idle(2) + idle(3) + idle(4));
}

TEST_F(Writer, StateChangesAreBatchedPerChannel) {
  RecordWriter writer(rx, 4);
  ASSERT_TRUE(writer.Start());
  S_User a = state(2, CHAN_PLACED, "first");
  S_User b = state(2, CHAN_ALERTING, "second");
  S_User c = state(2, CHAN_CONNECTED, "third");
  S_User zero = state(0, CHAN_CONNECTED);
  S_User over = state(5, CHAN_CONNECTED);
  S_User three = state(3, CHAN_CONNECTED);
  S_User three_idle = state(3, 0);
  for (S_User* u : {&a, &b, &zero, &c, &over, &three, &three_idle}) addstate(*u);
  writer.Drain();
  EXPECT_TRUE(v_state.empty());
  EXPECT_EQ(chanfile(), idle(1) + "[2]\nst=8\nct=2\nskpr=echo123\nsip=alice\nsippr=third\nsk=gw.sk\n" + idle(3) + idle(4));

  S_User done = state(2, CHAN_IDLE, "ignored");
  addstate(done);
  writer.Drain();
  EXPECT_EQ(chanfile(), idle(1) + idle(2) + idle(3) + idle(4));
}

TEST_F(Writer, LongBlocksAreWrittenWhole) {
  RecordWriter writer(rx, 2);
  ASSERT_TRUE(writer.Start());
  S_User u = state(1, CHAN_CONNECTED, std::string(150, 'p'));
  std::string block = channel_block(u);
  ASSERT_GE(block.size(), 200u);
  addstate(u);
  writer.Drain();
  EXPECT_EQ(chanfile(), block + idle(2));

  S_User huge = state(2, CHAN_CONNECTED, std::string(600, 'q'));
  addstate(huge);
  writer.Drain();
  EXPECT_EQ(chanfile().size(), block.size() + 511);  // cut at 511
}

TEST_F(Writer, CallRecordsAreWrittenOldestFirstWithTheirStatistics) {
  RecordWriter writer(rx, 4);
  ASSERT_TRUE(writer.Start());
  for (int i = 1; i <= 5; ++i) {
    S_User u = finished("p" + std::to_string(i));
    addcdr(u);
  }
  writer.Drain();
  EXPECT_TRUE(v_cdr.empty());
  std::string text = cdrfile();
  size_t at = 0;
  for (int i = 1; i <= 5; ++i) {
    std::string header = "[" + std::to_string(i) + "]\nct=2\nrs=1\nspr=echo123\nsip=alice\npr=p" + std::to_string(i) + "\n";
    size_t found = text.find(header, at);
    ASSERT_NE(found, std::string::npos) << i;
    at = found + header.size();
  }
  EXPECT_EQ(text.find("[6]"), std::string::npos);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")), "[3]\nincs=0\noutcs=5\ningcs=0\noutgcs=5\ningts=0\noutgts=0\n");
}

TEST_F(Writer, LockedCallRecordFileKeepsTheQueue) {
  RecordWriter writer(rx, 4);
  ASSERT_TRUE(writer.Start());
  write_file(tmp.path("cdr2026-03.conf"), "");
  LockHolder holder(tmp.path("cdr2026-03.conf"));
  for (int i = 1; i <= 3; ++i) {
    S_User u = finished("p" + std::to_string(i));
    addcdr(u);
  }
  S_User s = state(1, CHAN_CONNECTED);
  addstate(s);
  writer.Drain();
  EXPECT_EQ(v_cdr.size(), 3u);
  EXPECT_TRUE(writer.HasPendingWork());
  EXPECT_NE(chanfile().find("st=8"), std::string::npos);  // states do not wait for records
  holder.release();
  writer.Drain();
  EXPECT_TRUE(v_cdr.empty());
  EXPECT_FALSE(writer.HasPendingWork());
  std::string text = cdrfile();
  EXPECT_EQ(text.find("[1]\n"), 0u);
  EXPECT_NE(text.find("pr=p3\n"), std::string::npos);
  EXPECT_EQ(text.find("[4]"), std::string::npos);
}

TEST_F(Writer, StatisticsThatFailAreAddedLaterAndTheRecordIsNotRepeated) {
  RecordWriter writer(rx, 4);
  ASSERT_TRUE(writer.Start());
  write_file(tmp.path("static2026.conf"), "");
  LockHolder holder(tmp.path("static2026.conf"));
  for (int i = 1; i <= 2; ++i) {
    S_User u = finished("p" + std::to_string(i));
    addcdr(u);
  }
  writer.Drain();
  EXPECT_TRUE(v_cdr.empty());
  EXPECT_EQ(writer.pending_statistics(), 2u);
  EXPECT_TRUE(writer.HasPendingWork());
  holder.release();
  writer.Drain();
  EXPECT_EQ(writer.pending_statistics(), 0u);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")), "[3]\nincs=0\noutcs=2\ningcs=0\noutgcs=2\ningts=0\noutgts=0\n");
  std::string text = cdrfile();
  EXPECT_NE(text.find("[2]\n"), std::string::npos);
  EXPECT_EQ(text.find("[3]"), std::string::npos);
}

TEST_F(Writer, LockedStateFileIsBroughtUpToDateByTheNextRewrite) {
  RecordWriter writer(rx, 2);
  ASSERT_TRUE(writer.Start());
  {
    LockHolder holder(tmp.path("channelsstate.conf"));
    S_User s = state(2, CHAN_CONNECTED);
    addstate(s);
    writer.Drain();
    EXPECT_TRUE(writer.HasPendingWork());
  }
  EXPECT_EQ(chanfile(), idle(1) + idle(2));  // untouched while locked
  writer.Drain();                            // the retry pass, no new state
  EXPECT_EQ(chanfile(), idle(1) + "[2]\nst=8\nct=2\nskpr=echo123\nsip=alice\nsippr=200\nsk=gw.sk\n");
  EXPECT_FALSE(writer.HasPendingWork());
}

}  // namespace
