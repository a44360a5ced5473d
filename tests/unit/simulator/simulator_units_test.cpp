// The simulator's own pieces: its protocol codec against the byte examples
// of the protocol, its settings and command line, and its audio analysis.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Simulator/Audio.h"
#include "Simulator/EventLog.h"
#include "Simulator/Options.h"
#include "Simulator/Settings.h"
#include "Simulator/VoiceCallback.h"
#include "Simulator/VoiceStats.h"
#include "Simulator/Wire.h"

using namespace velsim;

namespace {

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

wire::Status decode(const std::string& in, wire::Message& m) {
  wire::StringSource src(in);
  wire::Reader rd(src);
  return rd.message(m);
}

}  // namespace

TEST(SimWire, VarintsAndZigzagMatchTheProtocolExamples) {
  struct Case {
    uint32_t v;
    std::string enc;
  } cases[] = {{0, bytes({0})}, {127, bytes({0x7F})}, {128, bytes({0x80, 0x01})},
               {300, bytes({0xAC, 0x02})}, {4294967295u, bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x0F})}};
  for (const auto& c : cases) {
    wire::Writer w;
    w.varint(c.v);
    EXPECT_EQ(w.bytes(), c.enc) << c.v;
    wire::StringSource src(c.enc);
    wire::Reader rd(src);
    uint32_t got = 1;
    ASSERT_EQ(rd.u32(got), wire::Status::Ok);
    EXPECT_EQ(got, c.v);
  }
  struct Zig {
    int32_t v;
    std::string enc;
  } zigs[] = {{-1, bytes({0x01})}, {2147483647, bytes({0xFE, 0xFF, 0xFF, 0xFF, 0x0F})},
              {-2147483647 - 1, bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x0F})}};
  for (const auto& z : zigs) {
    wire::Writer w;
    w.zigzag(z.v);
    EXPECT_EQ(w.bytes(), z.enc) << z.v;
    wire::Message m;
    ASSERT_EQ(decode("i\x01" + z.enc + "z", m), wire::Status::Ok);
    EXPECT_EQ(m.i(1), z.v);
  }
  wire::StringSource bad(bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x1F}));
  wire::Reader rd(bad);
  uint32_t v;
  EXPECT_EQ(rd.u32(v), wire::Status::Decode);
}

TEST(SimWire, CallAndErrorResponseBytes) {
  // A call of method 1 on module 0, request id 5, (1 'i' 3) and (2 'B' AA BB).
  wire::Writer w(false);
  unsigned char bin[] = {0xAA, 0xBB};
  w.raw("ZR").varint(0).varint(1).varint(5).i(1, 3).bin(2, bin, 2).end();
  EXPECT_EQ(w.bytes(), bytes({0x5A, 0x52, 0x00, 0x01, 0x05, 0x69, 0x01, 0x06, 0x42, 0x02, 0x02, 0xAA, 0xBB, 0x7A}));
  wire::Message m;
  EXPECT_EQ(decode(bytes({0x4E, 0x7A}), m), wire::Status::Call);
}

TEST(SimWire, DefaultsAreOmittedForTheApiAndWrittenForTheVoiceInterface) {
  wire::Writer api;
  api.u(1, 0).b(2, false).s(3, "").o_list(4, {}).e(5, 7).b(6, true);
  EXPECT_EQ(api.bytes(), bytes({'e', 5, 7, 'T', 6}));
  wire::Writer voice(false);
  voice.i(1, 0).s(2, "");
  EXPECT_EQ(voice.bytes(), bytes({'i', 1, 0, 'S', 2, 0}));
}

TEST(SimWire, MessagesDecodeListsStructsAndRefuseBadInput) {
  wire::Message m;
  ASSERT_EQ(decode(bytes({'[', 1, 'O', 5, 'O', 7, ']', 'S', 2, 2, 'h', 'i', '{', 3, 'u', 10, 4, 'z', 'T', 4, 'z'}), m),
            wire::Status::Ok);
  EXPECT_EQ(m.u_list(1), (std::vector<uint32_t>{5, 7}));
  EXPECT_EQ(m.s(2), "hi");
  ASSERT_NE(m.get(3), nullptr);
  EXPECT_EQ(m.get(3)->items.size(), 1u);
  EXPECT_TRUE(m.b(4));
  EXPECT_FALSE(m.b(9));

  struct Bad {
    const char* what;
    std::string in;
    wire::Status want;
  } bad[] = {
      {"tags out of order", bytes({'u', 2, 1, 'u', 1, 1, 'z'}), wire::Status::Decode},
      {"unknown kind", bytes({'q', 1, 1, 'z'}), wire::Status::Decode},
      {"truncated string", bytes({'S', 1, 9, 'a'}), wire::Status::Io},
      {"oversized string", bytes({'S', 1, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}), wire::Status::Decode},
      {"list of the wrong marker", bytes({'[', 1, 'N', ']', 'z'}), wire::Status::Decode},
  };
  for (const auto& b : bad) {
    wire::Message out;
    EXPECT_EQ(decode(b.in, out), b.want) << b.what;
  }
  // Twelve levels of nesting fail; ten decode.
  auto nested = [](int levels) {
    std::string s;
    for (int n = 0; n < levels; ++n) s += bytes({'{', 1});
    s += 'z';
    for (int n = 0; n < levels; ++n) s += 'z';
    return s;
  };
  wire::Message deep;
  EXPECT_EQ(decode(nested(10), deep), wire::Status::Ok);
  EXPECT_EQ(decode(nested(12), deep), wire::Status::Decode);
}

TEST(SimWire, PropertyRequestsGiveEveryTriple) {
  // Two groups: props 70,4 of module 5 objects 1,2; prop 927 of module 18 object 9.
  std::string in = bytes({70, ',', 4, ']', 5, 1, ',', 2, ']', ',', 0x9F, 0x07, ']', 18, 9, ']', ']', 'z'});
  wire::StringSource src(in);
  wire::Reader rd(src);
  std::vector<wire::Reader::PropRef> out;
  ASSERT_EQ(rd.property_request(out), wire::Status::Ok);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[0].module, 5u);
  EXPECT_EQ(out[0].oid, 1u);
  EXPECT_EQ(out[0].prop, 70u);
  EXPECT_EQ(out[3].oid, 2u);
  EXPECT_EQ(out[3].prop, 4u);
  EXPECT_EQ(out[4].module, 18u);
  EXPECT_EQ(out[4].prop, 927u);
  wire::StringSource bad(bytes({70, ']', 5, 1, 'x'}));
  wire::Reader rb(bad);
  out.clear();
  EXPECT_EQ(rb.property_request(out), wire::Status::Decode);
}

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

TEST(SimVoice, CallbackStreamIsSplitIntoPacketsAndResynchronised) {
  EventLog log;
  VoiceStats stats;
  stats.bind(3, 7, "PCMU");
  VoiceCallback cb(log, stats);
  std::string rtp(172, static_cast<char>(0xFF));
  rtp[0] = static_cast<char>(0x80);
  wire::Writer w(false);
  w.raw("ZR").varint(0).varint(1).varint(9).i(1, 3).bin(2, rtp.data(), rtp.size()).end();
  std::string one = w.bytes();
  std::string buf = "xx" + one + one.substr(0, 50);
  EXPECT_TRUE(cb.consume(buf));
  EXPECT_EQ(buf, one.substr(0, 50));  // the incomplete message waits
  buf += one.substr(50);
  EXPECT_TRUE(cb.consume(buf));
  EXPECT_TRUE(buf.empty());
  std::string other = one;
  other[7] = 8;  // channel 4: nobody's
  buf = other;
  EXPECT_TRUE(cb.consume(buf));
  EXPECT_NE(stats.text(7).find("received=2 bytes=344"), std::string::npos) << stats.text(7);
  EXPECT_EQ(stats.unmatched(), 1u);
}
