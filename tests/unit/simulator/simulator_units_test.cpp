// The simulator's own pieces: its settings and command line, and its audio
// analysis.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Simulator/Audio.h"
#include "Simulator/Options.h"
#include "Simulator/Settings.h"

using namespace velsim;

TEST(SimSettings, KeysSectionsAndBadLines) {
  std::vector<std::string> errors;
  Settings s = parse_settings(
      "# comment\npassword = secret\nbalance=250\ncurrency = GBP\nanswer_delay_ms = 40\n"
      "[party Bob]\nanswer = busy\n[party carol]\nanswer = early\ntone_hz = 600\n"
      "[other]\nbogus line\nbalance = -3\ntone_hz = 9000\n",
      errors);
  ASSERT_TRUE(s.password.has_value());
  EXPECT_EQ(*s.password, "secret");
  EXPECT_EQ(s.balance, 250u);
  EXPECT_EQ(s.currency, "GBP");
  EXPECT_EQ(s.party.answer_delay_ms, 40);
  EXPECT_EQ(s.party_for("BOB").answer, Answer::Busy);
  EXPECT_EQ(s.party_for("bob").answer_delay_ms, 40);  // sections start from the defaults
  EXPECT_EQ(s.party_for("carol").tone_hz, 600);
  EXPECT_EQ(s.party_for("dave").answer, Answer::Answer);
  EXPECT_EQ(errors.size(), 4u);  // [other], bogus line, balance -3, tone 9000
  std::vector<std::string> none;
  Settings d = parse_settings("", none);
  EXPECT_FALSE(d.password.has_value());
  EXPECT_EQ(d.balance, 0u);
  EXPECT_TRUE(none.empty());
}

TEST(SimOptions, CommandLineOfARuntime) {
  struct Case {
    std::vector<const char*> argv;
    bool ok;
    int port;
    const char* name;
  } cases[] = {
      {{"sim", "-p", "8963", "-s", "/alice/"}, true, 8963, "alice"},
      {{"sim", "-s", "/live:bob.2/", "-p", "9000"}, true, 9000, "live:bob.2"},
      {{"sim", "-p", "70000", "-s", "/a/"}, false, 0, ""},
      {{"sim", "-p", "90", "-s", "alice"}, false, 0, ""},
      {{"sim", "-p", "90", "-s", "/../"}, false, 0, ""},
      {{"sim", "-p", "90", "-s", "/a/b/"}, false, 0, ""},
      {{"sim", "-p", "90"}, false, 0, ""},
      {{"sim", "-p"}, false, 0, ""},
  };
  for (const auto& c : cases) {
    Options o;
    std::string error;
    bool ok = parse_options(static_cast<int>(c.argv.size()), c.argv.data(), o, error);
    EXPECT_EQ(ok, c.ok) << c.argv.back();
    if (ok) {
      EXPECT_EQ(o.port, c.port);
      EXPECT_EQ(o.account, c.name);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(SimAudio, DominantFrequencyAndDtmfDigits) {
  audio::Analyser an;
  audio::Tone t(450);
  std::vector<int16_t> buf(8000);
  t.fill(buf.data(), buf.size());
  an.add(buf.data(), buf.size());
  EXPECT_EQ(an.top_freq(), 450);
  EXPECT_EQ(an.last_freq(), 450);
  EXPECT_EQ(an.digits(), "");

  audio::Analyser dtmf;
  auto key = [&](double lo, double hi, int frames) {
    for (int n = 0; n < frames * 160; ++n) {
      double s = lo ? 5000 * (std::sin(2 * M_PI * lo * n / 8000) + std::sin(2 * M_PI * hi * n / 8000)) : 0;
      int16_t v = static_cast<int16_t>(s);
      dtmf.add(&v, 1);
    }
  };
  key(941, 1477, 4);  // #
  key(0, 0, 3);
  key(697, 1209, 4);  // 1
  key(697, 1209, 4);  // held: still one key
  key(0, 0, 3);
  key(852, 1336, 1);  // 20 ms only: too short
  key(0, 0, 3);
  EXPECT_EQ(dtmf.digits(), "#1");
  audio::Analyser quiet;
  std::vector<int16_t> silence(1600, 0);
  quiet.add(silence.data(), silence.size());
  EXPECT_EQ(quiet.top_freq(), 0);
  EXPECT_EQ(quiet.silent_blocks(), 2u);
}
