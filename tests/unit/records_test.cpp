// Call records, statistics and numbers called today, with the gateway clock
// set by the tests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Tools/ReadXml.h"
#include "Velmora/registry/Clock.h"
#include "tests/unit/TestFiles.h"

namespace {

time_t utc(int y, int mo, int d, int h, int mi, int s) {
  struct tm t = {};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  return timegm(&t);
}

class Records : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    gw_clock_set(utc(2026, 3, 15, 12, 0, 0));
  }
  void TearDown() override { gw_clock_reset(); }

  S_User call(int calltype, int result, time_t start, time_t answered, time_t end) {
    S_User u;
    u.calltype = calltype;
    u.callresult = result;
    u.start = start;
    u.startconversation = answered;
    u.end = end;
    u.skypepeer = "echo123";
    u.sipuserid = "alice";
    u.peer = "200";
    u.skypeuser = "gw.sk";
    return u;
  }

  TempDir tmp;
  ReadXml rx{tmp.dir()};
};

TEST_F(Records, CallRecordsAreNumberedOnWithinTheMonth) {
  S_User a = call(CALL_SIP_TO_SKYPE, RESULT_CONNECTED, utc(2026, 3, 15, 11, 0, 0), utc(2026, 3, 15, 11, 0, 5),
                  utc(2026, 3, 15, 11, 2, 10));
  S_User b = call(CALL_SKYPE_TO_SIP, RESULT_NOANSWER, utc(2026, 3, 15, 11, 5, 0), 0, utc(2026, 3, 15, 11, 5, 30));
  ASSERT_EQ(rx.saveCDR(a), 0);
  ASSERT_EQ(rx.saveCDR(b), 0);
  EXPECT_EQ(read_file(tmp.path("cdr2026-03.conf")),
            "[1]\nct=2\nrs=0\nspr=echo123\nsip=alice\npr=200\ns=2026-03-15 11:00:05\ne=2026-03-15 11:02:10\nsk=gw.sk\n"
            "[2]\nct=1\nrs=1\nspr=echo123\nsip=alice\npr=200\ns=2026-03-15 11:05:00\ne=2026-03-15 11:05:30\nsk=gw.sk\n");

  gw_clock_set(utc(2026, 4, 1, 0, 0, 1));  // a new month starts a new file
  ASSERT_EQ(rx.saveCDR(b), 0);
  EXPECT_EQ(read_file(tmp.path("cdr2026-04.conf")).substr(0, 4), "[1]\n");
  EXPECT_EQ(read_file(tmp.path("cdr2026-03.conf")).find("[3]"), std::string::npos);
}

struct TailCase {
  const char* name;
  std::string before;
  const char* next_header;
};

TEST_F(Records, NextNumberComesFromTheLastHeader) {
  const std::string filler(600, 'x');
  const TailCase cases[] = {
      {"last is 41", "[3]\nct=1\n[41]\nct=2\nrs=0\n", "[42]\n"},
      {"only headers count", "[7]\nct=1\npr=sip:[::1]:5060\n", "[8]\n"},
      {"no header in the tail", "[9]\n" + filler + "\n", "[1]\n"},
      {"a NUL byte in the tail", std::string("[12]\nct=1\n\0pr=x\n", 17), "[13]\n"},
      {"empty file", "", "[1]\n"},
      {"header cut mid-number", "[5]\nspr=a\n[6", "[6]\n"},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("cdr2026-03.conf"), c.before);
    S_User u = call(CALL_SIP_TO_SKYPE, RESULT_FAILED, 1, 0, 2);
    ASSERT_EQ(rx.saveCDR(u), 0) << c.name;
    std::string after = read_file(tmp.path("cdr2026-03.conf"));
    ASSERT_EQ(after.substr(0, c.before.size()), c.before) << c.name;
    EXPECT_EQ(after.substr(c.before.size(), std::string(c.next_header).size()), c.next_header) << c.name;
  }
}

TEST_F(Records, CallRecordFieldsAreBoundedAndOneLineEach) {
  S_User u = call(CALL_SIP_TO_SKYPE, RESULT_FAILED, 1, 0, 2);
  u.peer = "evil\n[99]\nct=1";
  u.skypepeer = std::string(700, 'p');
  ASSERT_EQ(rx.saveCDR(u), 0);
  std::string text = read_file(tmp.path("cdr2026-03.conf"));
  EXPECT_EQ(text.size(), 511u);
  EXPECT_EQ(text.find("[99]"), std::string::npos);
  ASSERT_EQ(rx.saveCDR(u), 0);
  EXPECT_EQ(read_file(tmp.path("cdr2026-03.conf")).substr(511, 4), "[2]\n");
}

TEST_F(Records, LockedCallRecordFileIsNotTouched) {
  write_file(tmp.path("cdr2026-03.conf"), "[1]\nct=1\n");
  LockHolder holder(tmp.path("cdr2026-03.conf"));
  S_User u = call(CALL_SIP_TO_SKYPE, RESULT_FAILED, 1, 0, 2);
  EXPECT_EQ(rx.saveCDR(u), -1);
  holder.release();
  EXPECT_EQ(read_file(tmp.path("cdr2026-03.conf")), "[1]\nct=1\n");
}

TEST_F(Records, FileNamesMustFitTheirBuffer) {
  char small[16];
  EXPECT_EQ(rx.opencdrfile(small, sizeof small), -1);
  char path[256];
  int fd = rx.openstaticfile(path, sizeof path);
  ASSERT_GT(fd, 0);
  EXPECT_EQ(std::string(path), tmp.path("static2026.conf"));
  close(fd);
}

struct TimeCase {
  const char* text;
  int h, m, s;
};

TEST(FormatTime2, SplitsHoursMinutesSeconds) {
  const TimeCase cases[] = {
      {"01:02:03", 1, 2, 3}, {"0", 0, 0, 0}, {"12:5", 12, 5, 0}, {"", 0, 0, 0},
      {nullptr, 0, 0, 0},    {"100:59:59", 100, 59, 59},          {"x:1:2", 0, 1, 2},
  };
  for (const auto& c : cases) {
    int h = -1, m = -1, s = -1;
    ReadXml::FormatTime2(c.text, &h, &m, &s);
    EXPECT_EQ(h, c.h) << (c.text ? c.text : "null");
    EXPECT_EQ(m, c.m);
    EXPECT_EQ(s, c.s);
  }
}

struct DurationCase {
  const char* before;
  long seconds;
  const char* after;
};

TEST_F(Records, ConnectedTimeIsAddedWithCarries) {
  const DurationCase cases[] = {
      {"00:59:50", 125, "01:01:55"},
      {"0", 125, "00:02:05"},
      {"00:00:59", 1, "00:01:00"},
      {"00:59:59", 1, "01:00:00"},
      {"09:10:20", 3 * 3600 + 50 * 60 + 40, "13:01:00"},
      {"99:59:59", 1, "100:00:00"},
      {"00:00:00", 0, "00:00:00"},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("static2026.conf"),
               std::string("[3]\nincs=4\noutcs=1\ningcs=4\noutgcs=1\ningts=") + c.before + "\noutgts=0\n");
    time_t t0 = utc(2026, 3, 15, 10, 0, 0);
    S_User u = call(CALL_SKYPE_TO_SIP, RESULT_CONNECTED, t0 - 10, t0, t0 + c.seconds);
    ASSERT_EQ(rx.SaveStatis(u, u.callresult), 0);
    EXPECT_EQ(read_file(tmp.path("static2026.conf")),
              std::string("[3]\nincs=5\noutcs=1\ningcs=5\noutgcs=1\ningts=") + c.after + "\noutgts=0\n")
        << c.before << " + " << c.seconds;
  }
}

TEST_F(Records, StatisticsSections) {
  S_User sip_unanswered = call(CALL_SIP_TO_SKYPE, RESULT_NOANSWER, 100, 0, 160);
  ASSERT_EQ(rx.SaveStatis(sip_unanswered, sip_unanswered.callresult), 0);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")), "[3]\nincs=0\noutcs=1\ningcs=0\noutgcs=1\ningts=0\noutgts=0\n");

  // connected SIP-to-Skype call: 2 minutes 5 seconds
  S_User sip_connected = call(CALL_SIP_TO_SKYPE, RESULT_CONNECTED, 100, 200, 325);
  ASSERT_EQ(rx.SaveStatis(sip_connected, 0), 0);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")),
            "[3]\nincs=0\noutcs=2\ningcs=0\noutgcs=2\ningts=0\noutgts=00:02:05\n");

  // a result other than 0, or no answer time, is not connected time
  S_User odd = sip_connected;
  ASSERT_EQ(rx.SaveStatis(odd, RESULT_FAILED), 0);
  odd.startconversation = 0;
  ASSERT_EQ(rx.SaveStatis(odd, 0), 0);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")),
            "[3]\nincs=0\noutcs=4\ningcs=0\noutgcs=4\ningts=0\noutgts=00:02:05\n");

  S_User none = call(CALL_NONE, RESULT_CONNECTED, 1, 2, 3);
  const std::string unchanged = read_file(tmp.path("static2026.conf"));
  ASSERT_EQ(rx.SaveStatis(none, 0), 0);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")), unchanged);

  // a call from Skype in March with January and February in the file
  write_file(tmp.path("static2026.conf"),
             "[1]\nincs=1\noutcs=0\ningcs=1\noutgcs=0\ningts=00:00:10\noutgts=0\n"
             "[2]\nincs=0\noutcs=2\ningcs=0\noutgcs=2\ningts=0\noutgts=00:01:00\n");
  S_User sk = call(CALL_SKYPE_TO_SIP, RESULT_CONNECTED, 1000, 1000, 1061);
  ASSERT_EQ(rx.SaveStatis(sk, 0), 0);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")),
            "[1]\nincs=1\noutcs=0\ningcs=1\noutgcs=0\ningts=00:00:10\noutgts=0\n"
            "[2]\nincs=0\noutcs=2\ningcs=0\noutgcs=2\ningts=0\noutgts=00:01:00\n"
            "[3]\nincs=1\noutcs=0\ningcs=1\noutgcs=0\ningts=00:01:01\noutgts=0\n");

  gw_clock_set(utc(2027, 1, 2, 8, 0, 0));  // a new year starts a new file
  ASSERT_EQ(rx.SaveStatis(sip_unanswered, 1), 0);
  EXPECT_EQ(read_file(tmp.path("static2027.conf")), "[1]\nincs=0\noutcs=1\ningcs=0\noutgcs=1\ningts=0\noutgts=0\n");
}

TEST_F(Records, StatisticsFailuresLeaveTheFileAsItWas) {
  const std::string before = "[3]\nincs=1\noutcs=0\ningcs=1\noutgcs=0\ningts=0\noutgts=0\n";
  write_file(tmp.path("static2026.conf"), before);
  S_User u = call(CALL_SKYPE_TO_SIP, RESULT_NOANSWER, 1, 0, 2);
  {
    LockHolder holder(tmp.path("static2026.conf"));
    EXPECT_EQ(rx.SaveStatis(u, 1), -1);
  }
  EXPECT_EQ(read_file(tmp.path("static2026.conf")), before);
  const std::string with_nul = before + std::string("\0", 1);
  write_file(tmp.path("static2026.conf"), with_nul);
  EXPECT_EQ(rx.SaveStatis(u, 1), -1);
  EXPECT_EQ(read_file(tmp.path("static2026.conf")), with_nul);
}

struct CallLogCase {
  const char* name;
  std::string text;
  std::vector<std::string> numbers;
};

TEST_F(Records, NumbersCalledTodayAreLoaded) {
  const CallLogCase cases[] = {
      {"two with an empty line", "0123456\n\n0987654\n", {"0123456", "0987654"}},
      {"four digits", "1234\n12345\n", {"12345"}},
      {"a NUL ends the file", std::string("11111\n22222\n\0" "33333\n", 19), {"11111", "22222"}},
      {"CR LF", "55555\r\n66666\r\n", {"55555", "66666"}},
      {"last line without break", "77777\n12345", {"77777"}},
      {"last line of six", "77777\n123456", {"123456", "77777"}},
      {"too long", std::string(510, '9') + "\n" + std::string(509, '8') + "\n", {std::string(509, '8')}},
      {"duplicates", "11111\n11111\n", {"11111"}},
  };
  for (const auto& c : cases) {
    std::map<int, S_Skype> table;
    table[0].name = "acc";
    table[1].name = "";
    mkdir(tmp.path("acc").c_str(), 0755);
    write_file(tmp.path("acc/calllogs.xml"), c.text);
    ASSERT_EQ(rx.ReadSkypeCalllogs(table), 0);
    EXPECT_EQ(table[0].calllogs.numbers(), c.numbers) << c.name;
  }
}

TEST_F(Records, NumberListsAreWrittenAndCreated) {
  std::map<int, S_Skype> table;
  table[0].name = "new.sk";
  ASSERT_EQ(rx.ReadSkypeCalllogs(table), 0);  // directory and empty file created
  EXPECT_TRUE(file_exists(tmp.path("new.sk/calllogs.xml")));
  EXPECT_EQ(read_file(tmp.path("new.sk/calllogs.xml")), "");

  S_Skype& sk = table[0];
  sk.calllogs.insert("0049301234");
  sk.calllogs.insert("0033123456");
  ASSERT_EQ(rx.SaveSkypeCalllogs(&sk), 0);
  EXPECT_EQ(read_file(tmp.path("new.sk/calllogs.xml")), "0033123456\n0049301234\n");
  sk.calllogs.clear();
  sk.calllogs.insert("0011111");
  ASSERT_EQ(rx.SaveSkypeCalllogs(&sk), 0);
  EXPECT_EQ(read_file(tmp.path("new.sk/calllogs.xml")), "0011111\n");

  S_Skype fresh;
  fresh.name = "other.sk";
  fresh.calllogs.insert("12345");
  ASSERT_EQ(rx.SaveSkypeCalllogs(&fresh), 0);
  EXPECT_EQ(read_file(tmp.path("other.sk/calllogs.xml")), "12345\n");
}

TEST_F(Records, HostileAccountNamesNeverNameADirectory) {
  for (const char* name : {"../escape", "a/b", "..", ".", "x\ny", "$(touch pwned)/"}) {
    S_Skype sk;
    sk.name = name;
    sk.calllogs.insert("12345");
    EXPECT_EQ(rx.SaveSkypeCalllogs(&sk), -1) << name;
    std::map<int, S_Skype> table;
    table[0].name = name;
    EXPECT_EQ(rx.ReadSkypeCalllogs(table), 0);
  }
  EXPECT_FALSE(file_exists(tmp.path("../escape")));
  EXPECT_FALSE(file_exists(tmp.path("a")));
  EXPECT_FALSE(file_exists(tmp.path("calllogs.xml")));
  // an account name with shell characters is only a directory name
  S_Skype sk;
  sk.name = "$(touch pwned)";
  sk.calllogs.insert("12345");
  ASSERT_EQ(rx.SaveSkypeCalllogs(&sk), 0);
  EXPECT_TRUE(file_exists(tmp.path("$(touch pwned)/calllogs.xml")));
  EXPECT_FALSE(file_exists("pwned"));
}

}  // namespace
