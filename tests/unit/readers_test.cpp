// The configuration readers of ReadXml over real files in a temp directory.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Tools/ReadXml.h"
#include "tests/unit/TestFiles.h"

namespace {

class Readers : public ::testing::Test {
protected:
  void SetUp() override { gwconfig = S_Config{}; }
  void TearDown() override { gwconfig = S_Config{}; }

  TempDir tmp;
  ReadXml rx{tmp.dir()};
};

TEST_F(Readers, SipAccountsAreBuiltIncrementally) {
  write_file(tmp.path("sip.conf"),
             "[alice]\ndisname=Alice\nauthname=a1\nsecret=pw1\nregsip=yes\nhost=10.0.0.1\nport=5060\n"
             "codec=alaw\nstatus=registed\n"
             "[bob]\r\ndisname=Bob\r\nsecret=pw2\r\nregsip=no\r\nport=5070\r\n");
  std::map<std::string, S_User> table;
  ASSERT_EQ(rx.Read(table), 0);
  ASSERT_EQ(table.size(), 2u);
  const S_User& a = table.at("1");
  const S_User& b = table.at("2");
  EXPECT_EQ(a.sipuserid, "alice");
  EXPECT_EQ(a.userid, 1);
  EXPECT_TRUE(a.regsip);
  EXPECT_EQ(a.codec, 8);
  EXPECT_FALSE(a.regstatus);  // "status" is not the reader's business
  EXPECT_EQ(a.status, CHAN_IDLE);
  EXPECT_EQ(b.sipuserid, "bob");
  EXPECT_EQ(b.userid, 2);
  EXPECT_EQ(b.hostip, "10.0.0.1");  // omitted: kept from the previous section
  EXPECT_EQ(b.authname, "a1");
  EXPECT_EQ(b.codec, 8);
  EXPECT_EQ(b.hostport, 5070);
  EXPECT_FALSE(b.regsip);
  EXPECT_TRUE(rx.sipconf_loaded());
}

struct ValueCase {
  const char* line;
  const char* dispname;  // expected; "" when the key is not recognised
};

TEST_F(Readers, ValueRules) {
  const ValueCase cases[] = {
      {"disname=Bob", "Bob"},
      {"disname=Bob  # the boss", "Bob"},
      {"disname=Jos\xc3\xa9 Smith", "Jos"},
      {"disname=tab\there", "tab"},
      {"disname=a=b", "a=b"},
      {"disname=", ""},
      {"disname =Bob", ""},
      {" disname=Bob", ""},
      {"Disname=Bob", ""},
      {"disname=x[y]", ""},  // a "[" makes it a section line, not a key line
      {"disname=del\x7f" "ok", "del\x7f" "ok"},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("sip.conf"), std::string("[u]\n") + c.line + "\nsecret=s\n");
    std::map<std::string, S_User> table;
    ASSERT_EQ(rx.Read(table), 0) << c.line;
    auto it = table.find("1");
    if (std::string(c.line).find('[') != std::string::npos) {
      // "x[y]" opened a section named "y": two accounts
      ASSERT_EQ(table.size(), 2u);
      EXPECT_EQ(table.at("2").sipuserid, "y");
      continue;
    }
    ASSERT_NE(it, table.end()) << c.line;
    EXPECT_EQ(it->second.dispname, c.dispname) << c.line;
    EXPECT_EQ(it->second.sippwd, "s");
  }
}

TEST_F(Readers, SectionLinesAndStrayLines) {
  write_file(tmp.path("sip.conf"),
             "disname=before\n"      // before any section: ignored
             "junk [first] junk\n"   // section "first"
             "disname=one\n"
             "no equals sign\n"
             "[broken\n"             // "[" without "]": ignored
             "authname=still-first\n"
             "[]\n");                // an empty section name is a section
  std::map<std::string, S_User> table;
  ASSERT_EQ(rx.Read(table), 0);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.at("1").sipuserid, "first");
  EXPECT_EQ(table.at("1").dispname, "one");
  EXPECT_EQ(table.at("1").authname, "still-first");
  EXPECT_EQ(table.at("2").sipuserid, "");
}

TEST_F(Readers, BadFilesLeaveTheTableAlone) {
  std::map<std::string, S_User> table;
  EXPECT_EQ(rx.Read(table), -1);  // missing
  EXPECT_FALSE(rx.sipconf_loaded());
  EXPECT_EQ(gwconfig.countrycallingcodes, "+");

  write_file(tmp.path("sip.conf"), std::string("[a]\ndisname=x\n\0[b]\n", 19));
  EXPECT_EQ(rx.Read(table), -1);  // a NUL byte
  EXPECT_TRUE(table.empty());
  EXPECT_FALSE(rx.sipconf_loaded());

  std::map<int, S_Skype> skypes;
  write_file(tmp.path("skypes.conf"), std::string("[s]\npwd=\0\n", 10));
  EXPECT_EQ(rx.ReadSkype(skypes), -1);
  EXPECT_TRUE(skypes.empty());
  EXPECT_EQ(read_file(tmp.path("skypes.conf")), std::string("[s]\npwd=\0\n", 10));
}

TEST_F(Readers, LockHeldLongerThanTheRetriesIsAMissingFile) {
  write_file(tmp.path("sip.conf"), "[a]\nsecret=x\n");
  write_file(tmp.path("skypes.conf"), "[s]\npwd=p\n");
  LockHolder sip(tmp.path("sip.conf"));
  LockHolder sk(tmp.path("skypes.conf"));
  ASSERT_TRUE(sip.held());
  std::map<std::string, S_User> table;
  EXPECT_EQ(rx.Read(table), -1);
  EXPECT_TRUE(table.empty());
  EXPECT_FALSE(rx.sipconf_loaded());
  std::map<int, S_Skype> skypes;
  EXPECT_EQ(rx.ReadSkype(skypes), -1);
  EXPECT_TRUE(skypes.empty());
  sk.release();
  EXPECT_EQ(read_file(tmp.path("skypes.conf")), "[s]\npwd=p\n");
  EXPECT_EQ(rx.ReadSkype(skypes), 0);
  EXPECT_EQ(skypes.size(), 1u);
}

TEST_F(Readers, EmptySipConfLeavesGeneralSettingsUnread) {
  write_file(tmp.path("sip.conf"), "");
  write_file(tmp.path("sip_general.conf"), "[g]\nlocalip=1.2.3.4\nport=5060\ncodec=alaw\n");
  std::map<std::string, S_User> table;
  EXPECT_EQ(rx.Read(table), 0);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(gwconfig.localip, "");
  EXPECT_EQ(gwconfig.localport, 0);
  EXPECT_EQ(gwconfig.rtpplaytype, 0);
  EXPECT_EQ(gwconfig.countrycallingcodes, "+");
}

struct GeneralCase {
  const char* text;
  int rtpplaytype;
  int lang_len;
  const char* language;
};

TEST_F(Readers, GeneralSettings) {
  const GeneralCase cases[] = {
      {"[g]\nlanguage=English\ncodec=G729\n", 18, 3600, "English"},
      {"[g]\nlanguage=English\ncodec=alaw\n", 8, 28960, "English"},
      {"[g]\ncodec=G729\nlanguage=English\n", 18, 5200, "English"},  // language came too late
      {"[g]\nlanguage=Chinese\ncodec=mulaw\n", 0, 41760, "Chinese"},
      {"[g]\ncodec=speex\n", 0, 41760, ""},  // unknown codec: rtpplaytype unchanged
      {"language=English\ncodec=alaw\n", 0, 0, ""},  // no section line: nothing counts
      {"[g]\nport=5061\n", 0, 0, ""},
  };
  for (const auto& c : cases) {
    gwconfig = S_Config{};
    write_file(tmp.path("sip.conf"), "[a]\nsecret=x\n");
    write_file(tmp.path("sip_general.conf"), c.text);
    std::map<std::string, S_User> table;
    ASSERT_EQ(rx.Read(table), 0) << c.text;
    EXPECT_EQ(gwconfig.rtpplaytype, c.rtpplaytype) << c.text;
    EXPECT_EQ(gwconfig.lang_len, c.lang_len) << c.text;
    EXPECT_EQ(gwconfig.language, c.language) << c.text;
    EXPECT_EQ(gwconfig.defaultaudioport, 10000);
    EXPECT_EQ(gwconfig.warninginterval, 20);
    EXPECT_EQ(gwconfig.warningtimes, 3);
  }
  write_file(tmp.path("sip_general.conf"), "[x]\nlocalip=192.168.1.5 \nport=5062\nDtmfLength=100\nRegSipInterval=60\n");
  std::map<std::string, S_User> table;
  ASSERT_EQ(rx.Read(table), 0);
  EXPECT_EQ(gwconfig.localip, "192.168.1.5");
  EXPECT_EQ(gwconfig.localport, 5062);
  EXPECT_EQ(gwconfig.dtmflen, 800);
  EXPECT_EQ(gwconfig.regsipinterval, 60);
}

TEST_F(Readers, SkypeAccountsStartOfflineAndTheFileIsRewritten) {
  write_file(tmp.path("skypes.conf"),
             "[alice.sk]\npwd=p1\ntotaltime=120\nbalance=350\nstatus=online\n"
             "[bob.sk]\npwd=p2\nstatus=online\n"
             "[alice.sk]\npwd=dup\n");
  std::map<int, S_Skype> table;
  ASSERT_EQ(rx.ReadSkype(table), 0);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.at(0).name, "alice.sk");
  EXPECT_FALSE(table.at(0).status);
  EXPECT_EQ(table.at(1).name, "bob.sk");
  EXPECT_EQ(table.at(1).balance, 350u);  // kept from the previous section
  EXPECT_EQ(table.at(1).totalouttime, 120);
  EXPECT_EQ(table.at(2).id, 2);
  EXPECT_EQ(read_file(tmp.path("skypes.conf")),
            "[alice.sk]\npwd=p1\ntotaltime=120\nbalance=350\nstatus=offline\n"
            "[bob.sk]\npwd=p2\ntotaltime=120\nbalance=350\nstatus=offline\n"
            "[alice.sk]\npwd=dup\ntotaltime=120\nbalance=350\nstatus=offline\n");
}

TEST_F(Readers, SkypeFileEdgeCases) {
  std::map<int, S_Skype> table;
  write_file(tmp.path("skypes.conf"), "");
  EXPECT_EQ(rx.ReadSkype(table), 0);
  EXPECT_EQ(read_file(tmp.path("skypes.conf")), "");

  write_file(tmp.path("skypes.conf"), "pwd=orphan\n\n");
  EXPECT_EQ(rx.ReadSkype(table), 0);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(read_file(tmp.path("skypes.conf")), "");  // no section: rewritten empty

  std::string name(600, 'n');
  write_file(tmp.path("skypes.conf"), "[" + name + "]\npwd=p\n");
  EXPECT_EQ(rx.ReadSkype(table), 0);
  std::string out = read_file(tmp.path("skypes.conf"));
  EXPECT_EQ(out.size(), 511u);  // one block, cut
  EXPECT_EQ(out, ("[" + name).substr(0, 511));
}

TEST_F(Readers, GroupsAndDuplicateKeys) {
  write_file(tmp.path("skype_groups.conf"),
             "[g1]\nskypes=a,b\nlimitcalls=5\nlimitcalltimes=30\noutcase=times\ninterval=2\n"
             "[g2]\noutcase=balance\nlimitcalls=7\nlimitcalls=8\n"
             "[g1]\nskypes=other\n");
  std::map<std::string, S_Skypegroup> groups;
  ASSERT_EQ(rx.ReadSkypeGroup(groups), 0);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups.at("g1").skypes, "a,b");  // the first g1 wins
  EXPECT_EQ(groups.at("g1").maxcalltimes, 1800);
  EXPECT_EQ(groups.at("g1").sorttype, 0);
  EXPECT_EQ(groups.at("g2").sorttype, 1);
  EXPECT_EQ(groups.at("g2").maxcalls, 8);   // the later line of a section wins
  EXPECT_EQ(groups.at("g2").skypes, "a,b");  // incremental
  EXPECT_EQ(groups.at("g2").interval, 2);
}

struct FromCase {
  const char* from_channel;
  int type;
  const char* from;
};

TEST_F(Readers, FromChannelForms) {
  std::map<std::string, S_Skypegroup> groups;
  groups["grp"].skypes = "s1,s2";
  const FromCase cases[] = {
      {"sip-alice", 0, "alice"},
      {"sip-", 0, ""},
      {"gr-in-grp", 1, "s1,s2"},
      {"gr-in-nogroup", 1, "previous"},  // unknown group: the previous value stays
      {"sk-in-bob.sk", 2, "bob.sk"},
      {"sk", 2, ""},
      {"s", 2, ""},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("routing.conf"), std::string("[r0]\norder=1\nfrom_channel=sip-previous\n[r1]\norder=2\n") +
                                             "from_channel=" + c.from_channel + "\n");
    std::map<int, S_Dialroute> routes;
    ASSERT_EQ(rx.ReadDialRoute(routes, groups), 0);
    ASSERT_EQ(routes.size(), 2u);
    EXPECT_EQ(routes.at(2).type, c.type) << c.from_channel;
    EXPECT_EQ(routes.at(2).from, c.from) << c.from_channel;
  }
}

TEST_F(Readers, DialRoutes) {
  std::map<std::string, S_Skypegroup> groups;
  groups["grp"] = S_Skypegroup{"s1,s2", 4, 600, 1, 3};
  write_file(tmp.path("routing.conf"),
             "[one]\norder=5\nfrom_channel=sip-alice\nto_channel=grp\ndialmode=directdial\ndisskype=yes\n"
             "directsipnum=200\ndial_pattern=9XX\n"
             "[two]\norder=3\nfrom_channel=sk-in-bob\nto_channel=200\ndialmode=collect\n"
             "[three]\norder=5\nto_channel=ignored\n"
             "[four]\norder=7\nfrom_channel=sip-carol\nto_channel=nogroup\n");
  std::map<int, S_Dialroute> routes;
  ASSERT_EQ(rx.ReadDialRoute(routes, groups), 0);
  ASSERT_EQ(routes.size(), 3u);  // the second route with order 5 is dropped
  const S_Dialroute& r5 = routes.at(5);
  EXPECT_EQ(r5.to, "s1,s2");
  EXPECT_EQ(r5.maxcalls, 4);
  EXPECT_EQ(r5.maxcalltimes, 600);
  EXPECT_EQ(r5.sorttype, 1);
  EXPECT_EQ(r5.interval, 3);
  EXPECT_TRUE(r5.directdial);
  EXPECT_TRUE(r5.disskypename);
  EXPECT_EQ(r5.directtosipnum, "200");
  EXPECT_EQ(r5.dial_pattern, "9XX");
  EXPECT_EQ(routes.at(3).type, 2);
  EXPECT_EQ(routes.at(3).to, "200");
  EXPECT_FALSE(routes.at(3).directdial);
  EXPECT_EQ(routes.at(7).from, "carol");
  EXPECT_EQ(routes.at(7).to, "ignored");  // unknown group: "to" keeps the previous section's value
}

struct PatternCase {
  const char* value;
  std::vector<std::pair<std::string, std::string>> entries;
};

TEST_F(Readers, SkypeOutDialPatternLists) {
  const std::string n128(128, '1');
  const std::string s300(300, 's');
  const PatternCase cases[] = {
      {"100|alice,200|bob", {{"100", "alice"}, {"200", "bob"}}},
      {"100alice,200|bob", {}},
      {"100|alice,200bob,300|carol", {{"100", "alice"}}},
      {"100|alice,", {{"100", "alice"}}},
      {"100|alice,,200|bob", {{"100", "alice"}}},
      {"100|alice,100|other", {{"100", "alice"}}},
      {"100|a|b", {{"100", "a|b"}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    write_file(tmp.path("skyperoute.conf"), std::string("[r]\ndial_pattern=") + c.value + "\n");
    std::map<std::string, std::string> table;
    ASSERT_EQ(rx.ReadRoute(table), 0) << c.value;
    std::vector<std::pair<std::string, std::string>> got(table.begin(), table.end());
    auto want = c.entries;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << c.value;
  }
  write_file(tmp.path("skyperoute.conf"), "[r]\ndial_pattern=" + n128 + "|" + s300 + "\n");
  std::map<std::string, std::string> table;
  ASSERT_EQ(rx.ReadRoute(table), 0);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.begin()->first, n128.substr(0, 127));
  EXPECT_EQ(table.begin()->second, s300.substr(0, 255));
}

TEST_F(Readers, SkypeOutDefaultAccount) {
  std::map<std::string, std::string> table;
  EXPECT_EQ(rx.ReadRoute(table), -1);
  EXPECT_FALSE(gwconfig.cancallskype);
  write_file(tmp.path("skyperoute.conf"), "[a]\nskype=none\n");
  ASSERT_EQ(rx.ReadRoute(table), 0);
  EXPECT_EQ(gwconfig.defaultskypeout, "none");
  EXPECT_FALSE(gwconfig.cancallskype);
  write_file(tmp.path("skyperoute.conf"), "[a]\n[b]\nskype=out.sk\n");
  ASSERT_EQ(rx.ReadRoute(table), 0);
  EXPECT_EQ(gwconfig.defaultskypeout, "out.sk");
  EXPECT_TRUE(gwconfig.cancallskype);
}

}  // namespace
