// The state files written by ReadXml: sip.conf and skypes.conf state,
// channelsstate.conf, gwpid.txt and rb.txt.

#include <gtest/gtest.h>

#include <string>

#include "Tools/FileLayer.h"
#include "Tools/ReadXml.h"
#include "tests/unit/TestFiles.h"

namespace {

const char* const kTwoAccounts =
    "[alice]\ndisname=Alice\nauthname=a1\nsecret=pw1\nregsip=yes\nhost=10.0.0.1\nport=5060\ncodec=mulaw\n"
    "status=registed\n"
    "[bob]\ndisname=Bob\nauthname=b1\nsecret=pw2\nregsip=no\nhost=10.0.0.2\nport=5070\ncodec=G729\n"
    "status=unregisted\n";

class StateFiles : public ::testing::Test {
protected:
  void SetUp() override { gwconfig = S_Config{}; }
  void TearDown() override { gwconfig = S_Config{}; }

  S_User bob() {
    S_User u;
    u.sipuserid = "bob";
    u.dispname = "Bob";
    u.authname = "b1";
    u.sippwd = "pw2";
    u.regsip = true;
    return u;
  }

  TempDir tmp;
  ReadXml rx{tmp.dir()};
};

TEST_F(StateFiles, ClearSipRegStateMarksEveryAccountUnregistered) {
  write_file(tmp.path("sip.conf"), kTwoAccounts);
  std::map<std::string, S_User> table;
  ASSERT_EQ(rx.Read(table), 0);
  ASSERT_EQ(rx.clearsipregState(table), 0);
  EXPECT_EQ(read_file(tmp.path("sip.conf")),
            "[alice]\ndisname=Alice\nauthname=a1\nsecret=pw1\nregsip=yes\nhost=10.0.0.1\nport=5060\ncodec=mulaw\n"
            "status=unregisted\n"
            "[bob]\ndisname=Bob\nauthname=b1\nsecret=pw2\nregsip=no\nhost=10.0.0.2\nport=5070\ncodec=G729\n"
            "status=unregisted\n");
}

TEST_F(StateFiles, ClearSipRegStateNeverRewritesAfterAFailedRead) {
  write_file(tmp.path("sip.conf"), kTwoAccounts);
  std::map<std::string, S_User> table;
  {
    LockHolder holder(tmp.path("sip.conf"));
    EXPECT_EQ(rx.Read(table), -1);
  }
  EXPECT_EQ(rx.clearsipregState(table), -1);
  EXPECT_EQ(read_file(tmp.path("sip.conf")), kTwoAccounts);

  ReadXml fresh(tmp.dir());  // Read never ran
  EXPECT_EQ(fresh.clearsipregState(table), -1);
  EXPECT_EQ(read_file(tmp.path("sip.conf")), kTwoAccounts);
}

TEST_F(StateFiles, RegistrationSuccessMarksOnlyThatAccount) {
  write_file(tmp.path("sip.conf"), kTwoAccounts);
  S_User user = bob();
  ASSERT_EQ(rx.savesipregState(user), 0);
  EXPECT_EQ(read_file(tmp.path("sip.conf")),
            "[alice]\ndisname=Alice\nauthname=a1\nsecret=pw1\nregsip=yes\nhost=10.0.0.1\nport=5060\ncodec=mulaw\n"
            "status=registed\n"
            "[bob]\ndisname=Bob\nauthname=b1\nsecret=pw2\nregsip=yes\nhost=10.0.0.2\nport=5070\ncodec=G729\n"
            "status=registed\n");
}

struct CredentialCase {
  const char* field;
  void (*change)(S_User&);
};

TEST_F(StateFiles, RegistrationWithChangedCredentialsLeavesTheAccountAsRead) {
  const CredentialCase cases[] = {
      {"secret", [](S_User& u) { u.sippwd = "old"; }},
      {"disname", [](S_User& u) { u.dispname = "Robert"; }},
      {"authname", [](S_User& u) { u.authname = "b0"; }},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("sip.conf"), kTwoAccounts);
    S_User user = bob();
    c.change(user);
    ASSERT_EQ(rx.savesipregState(user), 0) << c.field;
    EXPECT_EQ(read_file(tmp.path("sip.conf")), kTwoAccounts) << c.field;
  }
}

TEST_F(StateFiles, RegistrationStateWritersNeverRewriteWhatTheyCouldNotRead) {
  S_User user = bob();
  EXPECT_EQ(rx.savesipregState(user), -1);  // missing
  EXPECT_FALSE(file_exists(tmp.path("sip.conf")));
  write_file(tmp.path("sip.conf"), "");
  EXPECT_EQ(rx.savesipregState(user), 0);
  EXPECT_EQ(read_file(tmp.path("sip.conf")), "");
  write_file(tmp.path("sip.conf"), kTwoAccounts);
  LockHolder holder(tmp.path("sip.conf"));
  EXPECT_EQ(rx.savesipregState(user), -1);
  holder.release();
  EXPECT_EQ(read_file(tmp.path("sip.conf")), kTwoAccounts);
}

const char* const kSkypes =
    "[alice.sk]\npwd=p1\ntotaltime=10\nbalance=300\nstatus=offline\n"
    "[al]\npwd=p2\ntotaltime=20\nbalance=400\nstatus=online\n";

struct SaveSkypeCase {
  const char* name;
  int type;
  const char* expected;
};

TEST_F(StateFiles, SaveSkypeWritesOneValue) {
  const SaveSkypeCase cases[] = {
      {"alice.sk", 1,
       "[alice.sk]\npwd=p1\ntotaltime=77\nbalance=300\nstatus=offline\n"
       "[al]\npwd=p2\ntotaltime=20\nbalance=400\nstatus=online\n"},
      {"alice.sk", 2,
       "[alice.sk]\npwd=p1\ntotaltime=10\nbalance=999\nstatus=offline\n"
       "[al]\npwd=p2\ntotaltime=20\nbalance=400\nstatus=online\n"},
      {"alice.sk", 3,
       "[alice.sk]\npwd=p1\ntotaltime=10\nbalance=300\nstatus=online\n"
       "[al]\npwd=p2\ntotaltime=20\nbalance=400\nstatus=online\n"},
      {"al", 3,
       "[alice.sk]\npwd=p1\ntotaltime=10\nbalance=300\nstatus=offline\n"
       "[al]\npwd=p2\ntotaltime=20\nbalance=400\nstatus=online\n"},
      {"al", 1,
       "[alice.sk]\npwd=p1\ntotaltime=10\nbalance=300\nstatus=offline\n"
       "[al]\npwd=p2\ntotaltime=77\nbalance=400\nstatus=online\n"},
      {"gone.sk", 2, kSkypes},  // no longer in the file: unchanged
      {"alice.sk", 0, kSkypes},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("skypes.conf"), kSkypes);
    S_Skype sk;
    sk.name = c.name;
    sk.totalouttime = 77;
    sk.balance = 999;
    sk.status = true;
    ASSERT_EQ(rx.SaveSkype(&sk, c.type), 0) << c.name << " " << c.type;
    EXPECT_EQ(read_file(tmp.path("skypes.conf")), c.expected) << c.name << " " << c.type;
  }
}

TEST_F(StateFiles, SaveSkypeOfflineAndFailures) {
  write_file(tmp.path("skypes.conf"), kSkypes);
  S_Skype sk;
  sk.name = "al";
  sk.status = false;
  ASSERT_EQ(rx.SaveSkype(&sk, 3), 0);
  EXPECT_NE(read_file(tmp.path("skypes.conf")).find("[al]\npwd=p2\ntotaltime=20\nbalance=400\nstatus=offline\n"),
            std::string::npos);
  {
    LockHolder holder(tmp.path("skypes.conf"));
    EXPECT_EQ(rx.SaveSkype(&sk, 2), -1);
  }
  write_file(tmp.path("skypes.conf"), "");
  EXPECT_EQ(rx.SaveSkype(&sk, 2), 0);
  EXPECT_EQ(read_file(tmp.path("skypes.conf")), "");
  EXPECT_EQ(rx.SaveSkype(nullptr, 2), 0);
}

TEST_F(StateFiles, ChannelStateFileIsEmptiedAndOpenedForRewrite) {
  write_file(tmp.path("channelsstate.conf"), "[1]\nst=8\n");
  ASSERT_EQ(rx.clearchanState(), 0);
  EXPECT_TRUE(file_exists(tmp.path("channelsstate.conf")));
  EXPECT_EQ(read_file(tmp.path("channelsstate.conf")), "");

  write_file(tmp.path("channelsstate.conf"), "old\n");
  int fd = -1;
  ASSERT_EQ(rx.openchanstate(&fd), 0);
  ASSERT_GT(fd, 0);
  gw_fwrite(fd, "new\n", 4);
  gw_fclose(fd);
  EXPECT_EQ(read_file(tmp.path("channelsstate.conf")), "new\n");

  LockHolder holder(tmp.path("channelsstate.conf"));
  EXPECT_EQ(rx.openchanstate(&fd), -1);
  EXPECT_EQ(rx.clearchanState(), -1);
  holder.release();
  EXPECT_EQ(read_file(tmp.path("channelsstate.conf")), "new\n");
}

struct PidCase {
  const char* name;
  const char* listing;
  int pid;
};

TEST_F(StateFiles, EnginePidFromTheProcessListing) {
  const char* const two =
      "root      4242     1  0 10:00 ?        00:00:01 /usr/bin/linux-x86-skypekit-voicertp-novideo -p 8962 -s /bobby/\n"
      "root      4343     1  0 10:00 ?        00:00:01 /usr/bin/linux-x86-skypekit-voicertp-novideo -p 8963 -s /bob/\n"
      "root      4444  4000  0 10:01 pts/0    00:00:00 grep /usr/bin/linux-x86-skypekit-voicertp-novideo\n";
  const PidCase cases[] = {
      {"bob", two, 4343},
      {"bobby", two, 4242},
      {"bo", two, -1},
      {"ob", two, -1},
      {"grep", "root 4444 4000 0 10:01 pts/0 00:00:00 grep -s /grep/\n", -1},
      {"bob", "root 4444 4000 0 10:01 pts/0 00:00:00 grep /usr/bin/linux-x86-skypekit-voicertp-novideo -s /bob/\n"
              "root 4445 4000 0 10:01 pts/0 00:00:00 sh\n", -1},
      // one runtime line, no grep line (the listing is written from /proc)
      {"bob", "root 77 1 0 10:00 ? 00:00:01 /opt/rt -p 8962 -s /bob/\n", 77},
      {"bob", "root 77 1 0 10:00 ? 00:00:01 /opt/rt -p 8962 -s /bob/", 77},
      {"bob", "root 78 1 0 10:00 ? 00:00:01 /opt/rt -p 8962 -s /bob/x\n", -1},
      {"bob", "root 79 1 0 10:00 ? 00:00:01 /opt/rt -p 8962 -x-s /bob/\n", -1},
      {"bob", "root abc 1 0 10:00 ? 00:00:01 /opt/rt -s /bob/\n", -1},
      {"bob", "", -1},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("gwpid.txt"), c.listing);
    S_Skype sk;
    sk.name = c.name;
    EXPECT_EQ(rx.Readenginepid(&sk), c.pid) << c.name << " in " << c.listing;
  }
  std::remove(tmp.path("gwpid.txt").c_str());
  S_Skype sk;
  sk.name = "bob";
  EXPECT_EQ(rx.Readenginepid(&sk), -1);
}

struct RebootCase {
  std::string before;  // "-" for a missing file
  std::string after;
};

TEST_F(StateFiles, StartCounterWraps) {
  const RebootCase cases[] = {
      {"-", std::string(1, '\x01')},
      {"", std::string(1, '\x01')},
      {std::string(1, '\x07'), std::string(1, '\x08')},
      {std::string(1, '\xff'), std::string(1, '\x00')},
      {std::string("\x05garbage", 8), std::string(1, '\x06')},
      {std::string(256, '\x09'), std::string(1, '\x01')},  // size 256: its low byte is 0
  };
  for (const auto& c : cases) {
    std::string f = tmp.path("rb.txt");
    std::remove(f.c_str());
    if (c.before != "-") write_file(f, c.before);
    ASSERT_EQ(rx.Gwreboot(), 0);
    EXPECT_EQ(read_file(f), c.after) << c.before.size();
  }
  LockHolder holder(tmp.path("rb.txt"));
  EXPECT_EQ(rx.Gwreboot(), -1);
}

}  // namespace
