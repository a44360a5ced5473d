// The record writer thread against feeders on other threads and a web front
// end (another process) that holds the files locked.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Tools/ReadXml.h"
#include "Velmora/RecordWriter.h"
#include "Velmora/registry/Clock.h"
#include "tests/unit/RecordQueueReset.h"
#include "tests/unit/TestFiles.h"

namespace {

bool queue_empty() {
  std::lock_guard<SkypeMutex> lock(cdrmutex);
  return v_cdr.empty();
}

bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class WriterThread : public ::testing::Test {
protected:
  RecordQueueReset reset;

  TempDir tmp;
  ReadXml rx{tmp.dir()};
};

TEST_F(WriterThread, EveryRecordOnceInOrderDespiteLocksAndManyWakeUps) {
  constexpr int kFeeders = 3;
  constexpr int kCalls = 40;
  std::string cdr = tmp.path("cdr2026-03.conf");
  std::string stats = tmp.path("static2026.conf");
  write_file(cdr, "");
  write_file(stats, "");

  auto cdr_lock = std::make_unique<LockHolder>(cdr);
  auto stats_lock = std::make_unique<LockHolder>(stats);
  auto state_lock = std::make_unique<LockHolder>(tmp.path("channelsstate.conf"));
  ASSERT_TRUE(cdr_lock->held() && stats_lock->held() && state_lock->held());

  RecordWriter writer(rx, 4, 20);
  ASSERT_TRUE(writer.Start());
  std::thread thread([&] { writer.Run(); });

  std::vector<std::thread> feeders;
  for (int f = 0; f < kFeeders; ++f) {
    feeders.emplace_back([f] {
      for (int i = 0; i < kCalls; ++i) {
        S_User u;
        u.calltype = CALL_SKYPE_TO_SIP;
        u.callresult = RESULT_NOANSWER;
        u.channel = f + 1;
        u.status = CHAN_CONNECTED;
        u.peer = "f" + std::to_string(f) + "-" + std::to_string(i);
        addstate(u);
        addcdr(u);
      }
    });
  }
  for (auto& t : feeders) t.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(read_file(cdr), "");  // nothing got past the lock

  cdr_lock.reset();
  ASSERT_TRUE(eventually(queue_empty));
  state_lock.reset();
  stats_lock.reset();
  ASSERT_TRUE(eventually([&] { return read_file(stats).find("incs=120\n") != std::string::npos; }))
      << read_file(stats);

  std::string text = read_file(cdr);
  EXPECT_EQ(count_of(text, "[1]\n"), 1);
  EXPECT_EQ(count_of(text, "\nct=1\n"), kFeeders * kCalls);
  EXPECT_EQ(count_of(text, "[" + std::to_string(kFeeders * kCalls) + "]\n"), 1);
  EXPECT_EQ(text.find("[" + std::to_string(kFeeders * kCalls + 1) + "]"), std::string::npos);
  for (int f = 0; f < kFeeders; ++f) {
    size_t at = 0;
    for (int i = 0; i < kCalls; ++i) {
      std::string line = "\npr=f" + std::to_string(f) + "-" + std::to_string(i) + "\n";
      size_t found = text.find(line, at);
      ASSERT_NE(found, std::string::npos) << line;
      EXPECT_EQ(text.find(line, found + 1), std::string::npos) << line;
      at = found;
    }
  }
  ASSERT_TRUE(eventually([&] {
    std::string st = read_file(tmp.path("channelsstate.conf"));
    return st.find("sippr=f0-39\n") != std::string::npos && st.find("sippr=f2-39\n") != std::string::npos;
  }));

  writer.Stop();
  thread.join();
}

TEST_F(WriterThread, ARecordQueuedWhileDrainingIsWrittenWithoutAnotherCall) {
  RecordWriter writer(rx, 2, 60000);  // no retry timer to fall back on
  ASSERT_TRUE(writer.Start());
  std::thread thread([&] { writer.Run(); });
  for (int i = 0; i < 50; ++i) {
    S_User u;
    u.calltype = CALL_SIP_TO_SKYPE;
    u.peer = "n" + std::to_string(i);
    addcdr(u);
    if (i % 7 == 0) std::this_thread::yield();
  }
  EXPECT_TRUE(eventually(queue_empty));
  EXPECT_TRUE(eventually([&] { return read_file(tmp.path("cdr2026-03.conf")).find("pr=n49\n") != std::string::npos; }));
  writer.Stop();
  thread.join();
}

}  // namespace
