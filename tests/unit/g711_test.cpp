// G.711 companding against the reference points of the laws and their
// structural properties.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "Velmora/audio/g711.h"

namespace {

struct Law {
  const char* name;
  uint8_t (*encode)(int16_t);
  int16_t (*decode)(uint8_t);
  uint8_t zero_code;   // the code of silence
  int max_rel_error;   // quantisation error bound in parts per 100 for large samples
};

const Law kLaws[] = {
    {"ulaw", g711_linear_to_ulaw, g711_ulaw_to_linear, 0xFF, 5},
    {"alaw", g711_linear_to_alaw, g711_alaw_to_linear, 0xD5, 4},
};

class G711Test : public ::testing::TestWithParam<Law> {};

TEST_P(G711Test, SilenceAndExtremes) {
  const Law& law = GetParam();
  EXPECT_EQ(law.encode(0), law.zero_code);
  EXPECT_LE(std::abs(law.decode(law.encode(0))), 8);
  // Full scale clips to the largest code and stays on its side.
  EXPECT_GT(law.decode(law.encode(32767)), 30000);
  EXPECT_LT(law.decode(law.encode(-32768)), -30000);
}

TEST_P(G711Test, EveryCodeDecodesToAValueThatEncodesBackToIt) {
  const Law& law = GetParam();
  for (int c = 0; c < 256; ++c) {
    const int16_t v = law.decode(static_cast<uint8_t>(c));
    const uint8_t back = law.encode(v);
    // Mu-law has two codes for zero (+0 and -0); both decode to 0.
    if (v == 0) continue;
    EXPECT_EQ(back, c) << law.name << " code " << c << " value " << v;
  }
}

TEST_P(G711Test, EncodingIsMonotonicAndAccurate) {
  const Law& law = GetParam();
  int prev = -40000;
  for (int x = -32768; x <= 32767; ++x) {
    const int y = law.decode(law.encode(static_cast<int16_t>(x)));
    ASSERT_GE(y, prev) << law.name << " at " << x;
    prev = y;
    if (std::abs(x) > 256 && std::abs(x) < 32000) {
      ASSERT_LE(std::abs(y - x) * 100, law.max_rel_error * std::abs(x)) << law.name << " at " << x;
    }
  }
}

TEST_P(G711Test, BufferFunctionsMatchTheSampleFunctions) {
  const Law& law = GetParam();
  int16_t in[64];
  for (int i = 0; i < 64; ++i) in[i] = static_cast<int16_t>((i - 32) * 997);
  uint8_t codes[64];
  int16_t out[64];
  const bool ulaw = law.zero_code == 0xFF;
  (ulaw ? g711_encode_ulaw : g711_encode_alaw)(in, codes, 64);
  (ulaw ? g711_decode_ulaw : g711_decode_alaw)(codes, out, 64);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(codes[i], law.encode(in[i]));
    EXPECT_EQ(out[i], law.decode(codes[i]));
  }
}

INSTANTIATE_TEST_SUITE_P(Laws, G711Test, ::testing::ValuesIn(kLaws),
                         [](const auto& info) { return std::string(info.param.name); });

// Known code points of the two laws (ITU-T G.711 tables).
TEST(G711, ReferenceCodes) {
  struct Case {
    int16_t in;
    uint8_t ulaw, alaw;
  } cases[] = {
      {1000, 0xCE, 0xFA}, {-1000, 0x4E, 0x7A}, {-1916, 0x40, 0x68}, {-1, 0x7F, 0x55}, {8000, 0xA0, 0x8A},
      {32767, 0x80, 0xAA}, {-32768, 0x00, 0x2A}, {100, 0xF2, 0xD3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(g711_linear_to_ulaw(c.in), c.ulaw) << c.in;
    EXPECT_EQ(g711_linear_to_alaw(c.in), c.alaw) << c.in;
  }
  EXPECT_EQ(g711_ulaw_to_linear(0x80), 32124);
  EXPECT_EQ(g711_ulaw_to_linear(0x00), -32124);
  EXPECT_EQ(g711_alaw_to_linear(0xAA), 32256);
  EXPECT_EQ(g711_alaw_to_linear(0x2A), -32256);
}

}  // namespace
