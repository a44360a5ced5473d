// The built-in audio: sizes, the frequencies of the tones (Goertzel), speech
// level of the prompts, and the G.729 arrays decoded with bcg729.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

extern "C" {
#include <bcg729/decoder.h>
}

#include "Velmora/audio/AudioAssets.h"
#include "Velmora/audio/g711.h"

namespace {

using Samples = std::vector<double>;

Samples decode(const unsigned char* codes, size_t n, bool ulaw) {
  std::vector<int16_t> pcm(n);
  (ulaw ? g711_decode_ulaw : g711_decode_alaw)(codes, pcm.data(), n);
  return Samples(pcm.begin(), pcm.end());
}

Samples decode_g729(const unsigned char* bits, size_t n) {
  Samples out;
  bcg729DecoderChannelContextStruct* dec = initBcg729DecoderChannel();
  int16_t frame[80];
  for (size_t at = 0; at + 10 <= n; at += 10) {
    bcg729Decoder(dec, bits + at, 10, 0, 0, 0, frame);
    out.insert(out.end(), frame, frame + 80);
  }
  closeBcg729DecoderChannel(dec);
  return out;
}

// Power of `freq` in s[from, from + len) (Goertzel), normalised to the mean
// square of a sine of amplitude 1.
double goertzel(const Samples& s, double freq, size_t from = 0, size_t len = 0) {
  if (len == 0) len = s.size() - from;
  const double w = 2.0 * M_PI * freq / 8000.0, c = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < from + len; ++i) {
    const double s0 = s[i] + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double p = s1 * s1 + s2 * s2 - c * s1 * s2;
  return 2.0 * p / (static_cast<double>(len) * static_cast<double>(len));
}

double mean_square(const Samples& s, size_t from = 0, size_t len = 0) {
  if (len == 0) len = s.size() - from;
  double e = 0;
  for (size_t i = from; i < from + len; ++i) e += s[i] * s[i];
  return e / static_cast<double>(len);
}

double db(double ratio) { return 10.0 * std::log10(ratio); }

TEST(AudioAssets, SizesAreExact) {
  struct Case {
    const char* name;
    size_t size, want;
  } cases[] = {
      {"inputnumberue", sizeof inputnumberue, 28960}, {"inputnumberae", sizeof inputnumberae, 28960},
      {"inputnumberge", sizeof inputnumberge, 3600},  {"inputnumber", sizeof inputnumber, 41760},
      {"inputnumbera", sizeof inputnumbera, 41760},   {"inputnumberg", sizeof inputnumberg, 5200},
      {"tone4501s", sizeof tone4501s, 2 * 8000},      {"tone450g1s", sizeof tone450g1s, 1000},
      {"dtmf", sizeof dtmf, 24 * 1018},
  };
  for (const Case& c : cases) EXPECT_EQ(c.size, c.want) << c.name;
  // Whole 20 ms chunks: the G.711 prompts are 181 and 261 packets, the G.729 ones 180 and 260.
  EXPECT_EQ(sizeof inputnumberue % 160, 0u);
  EXPECT_EQ(sizeof inputnumber % 160, 0u);
  EXPECT_EQ(sizeof inputnumberge % 20, 0u);
  EXPECT_EQ(sizeof inputnumberg % 20, 0u);
}

// The ringback tone is 450 Hz and nothing else, at a telephone level, in both laws.
TEST(AudioAssets, RingbackIs450HzInBothLaws) {
  for (int law = 0; law < 2; ++law) {
    const Samples s = decode(tone4501s[law], TONE_G711_LEN, law == 0);
    const double total = mean_square(s);
    const double at450 = goertzel(s, 450);
    EXPECT_GT(at450 / total, 0.98) << "law " << law;
    for (double f : {350.0, 400.0, 440.0, 480.0, 500.0, 900.0, 1350.0}) {
      EXPECT_LT(db(goertzel(s, f) / at450), -30.0) << "law " << law << " at " << f << " Hz";
    }
    EXPECT_GT(db(total / (32768.0 * 32768.0)), -20.0);  // audible, not a whisper
    EXPECT_LT(db(total / (32768.0 * 32768.0)), -6.0);   // and not clipping
  }
}

TEST(AudioAssets, DtmfEntriesHoldTheirKeysFrequencyPairs) {
  const double low[] = {697, 770, 852, 941};
  const double high[] = {1209, 1336, 1477, 1633};
  // '0'..'9', '*', '#': row and column on the keypad.
  const int row[] = {3, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3};
  const int col[] = {1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 2};
  for (size_t e = 0; e < DTMF_TONES; ++e) {
    const size_t key = e % 12;
    const Samples s = decode(dtmf[e], DTMF_TONE_LEN, e < 12);
    // The steady part, away from the ramps.
    const size_t from = 60, len = DTMF_TONE_LEN - 120;
    const double want_low = goertzel(s, low[row[key]], from, len);
    const double want_high = goertzel(s, high[col[key]], from, len);
    const double total = mean_square(s, from, len);
    EXPECT_GT((want_low + want_high) / total, 0.95) << "entry " << e;
    // High group a little louder than the low one (positive twist, under 4 dB).
    EXPECT_GT(db(want_high / want_low), 0.0) << "entry " << e;
    EXPECT_LT(db(want_high / want_low), 4.0) << "entry " << e;
    for (int r = 0; r < 4; ++r) {
      if (r == row[key]) continue;
      EXPECT_LT(db(goertzel(s, low[r], from, len) / want_low), -20.0) << "entry " << e;
    }
    for (int c = 0; c < 4; ++c) {
      if (c == col[key]) continue;
      EXPECT_LT(db(goertzel(s, high[c], from, len) / want_high), -20.0) << "entry " << e;
    }
  }
  // The PCMA half carries the same tones as the PCMU half.
  for (size_t k = 0; k < 12; ++k) {
    const Samples u = decode(dtmf[k], DTMF_TONE_LEN, true);
    const Samples a = decode(dtmf[12 + k], DTMF_TONE_LEN, false);
    double diff = 0;
    for (size_t i = 0; i < DTMF_TONE_LEN; ++i) diff += (u[i] - a[i]) * (u[i] - a[i]);
    EXPECT_LT(db(diff / static_cast<double>(DTMF_TONE_LEN) / mean_square(u)), -25.0) << "key " << k;
  }
}

// Energy of each 20 ms frame, in dB below full scale.
std::vector<double> frame_levels(const Samples& s) {
  std::vector<double> out;
  for (size_t at = 0; at + 160 <= s.size(); at += 160) {
    out.push_back(db(mean_square(s, at, 160) / (32768.0 * 32768.0) + 1e-12));
  }
  return out;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const size_t n = std::min(a.size(), b.size());
  const double ma = std::accumulate(a.begin(), a.begin() + static_cast<long>(n), 0.0) / static_cast<double>(n);
  const double mb = std::accumulate(b.begin(), b.begin() + static_cast<long>(n), 0.0) / static_cast<double>(n);
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < n; ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

struct Prompt {
  const char* name;
  const unsigned char* ulaw;
  const unsigned char* alaw;
  size_t g711_len;
  const unsigned char* g729;
  size_t g729_len;
};

const Prompt kPrompts[] = {
    {"English", inputnumberue, inputnumberae, PROMPT_EN_G711_LEN, inputnumberge, PROMPT_EN_G729_LEN},
    {"Mandarin", inputnumber, inputnumbera, PROMPT_ALT_G711_LEN, inputnumberg, PROMPT_ALT_G729_LEN},
};

// Speech: loud frames for a good part of the prompt, with the pauses between
// words, and the same words in both laws.
TEST(AudioAssets, PromptsAreSpeechInBothLaws) {
  for (const Prompt& p : kPrompts) {
    const Samples u = decode(p.ulaw, p.g711_len, true);
    const Samples a = decode(p.alaw, p.g711_len, false);
    const std::vector<double> lu = frame_levels(u);
    const size_t loud = static_cast<size_t>(std::count_if(lu.begin(), lu.end(), [](double l) { return l > -35.0; }));
    const size_t quiet = static_cast<size_t>(std::count_if(lu.begin(), lu.end(), [](double l) { return l < -50.0; }));
    EXPECT_GT(loud, lu.size() * 2 / 5) << p.name;  // talking most of the time
    EXPECT_GT(quiet, 3u) << p.name;                // with silence around it
    EXPECT_GT(*std::max_element(lu.begin(), lu.end()), -20.0) << p.name;
    EXPECT_GT(db(mean_square(u) / (32768.0 * 32768.0)), -30.0) << p.name;
    double diff = 0;
    for (size_t i = 0; i < u.size(); ++i) diff += (u[i] - a[i]) * (u[i] - a[i]);
    EXPECT_LT(db(diff / static_cast<double>(u.size()) / mean_square(u)), -25.0) << p.name;
  }
  // Two different prompts, not one copied.
  EXPECT_NE(memcmp(inputnumberue, inputnumber, PROMPT_EN_G711_LEN), 0);
}

// The G.729 arrays decode to the right length, and to the same speech and
// tone as the G.711 ones.
TEST(AudioAssets, G729ArraysDecodeToTheSameAudio) {
  for (const Prompt& p : kPrompts) {
    const Samples g = decode_g729(p.g729, p.g729_len);
    EXPECT_EQ(g.size(), p.g729_len * 8) << p.name;  // 10 bytes per 80 samples
    const Samples u = decode(p.ulaw, p.g711_len, true);
    const std::vector<double> lg = frame_levels(g);
    const std::vector<double> lu = frame_levels(u);
    EXPECT_GT(correlation(lg, lu), 0.9) << p.name;
    EXPECT_LT(std::abs(db(mean_square(g) / mean_square(u, 0, g.size()))), 3.0) << p.name;
  }
  const Samples tone = decode_g729(tone450g1s, TONE_G729_LEN);
  ASSERT_EQ(tone.size(), 8000u);
  // Past the decoder's first frames the tone is 450 Hz.
  const double at450 = goertzel(tone, 450, 400);
  EXPECT_GT(at450 / mean_square(tone, 400), 0.9);
  EXPECT_LT(db(goertzel(tone, 900, 400) / at450), -20.0);
  EXPECT_LT(std::abs(db(mean_square(tone, 400) / mean_square(decode(tone4501s[0], 8000, true)))), 3.0);
}

}  // namespace
