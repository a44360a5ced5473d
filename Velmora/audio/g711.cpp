#include "Velmora/audio/g711.h"

// Both laws split the magnitude into eight segments of doubling size, each
// with 16 steps, and send sign, segment and step in one byte. Mu-law works on
// 14-bit magnitudes with a bias of 33 (in 14-bit units) and inverts every bit;
// A-law works on 13-bit magnitudes, has a linear first segment and inverts
// the even bits (XOR 0x55).

namespace {

constexpr int kUlawBias = 0x84;   // 33 << 2, in 16-bit units
constexpr int kUlawClip = 32635;  // largest magnitude that stays in range after the bias

// Index of the highest set bit among bits 7..14 of `v`, counted from bit 7
// (0 for v < 256); `v` is below 32768.
int segment_of(int v) {
  int seg = 0;
  for (int m = v >> 8; m != 0; m >>= 1) ++seg;
  return seg;
}

}  // namespace

uint8_t g711_linear_to_ulaw(int16_t sample) {
  int v = sample;
  int sign = 0;
  if (v < 0) {
    v = -v - 1;  // one's complement magnitude, as for A-law
    sign = 0x80;
  }
  if (v > kUlawClip) v = kUlawClip;
  v += kUlawBias;
  const int seg = segment_of(v);
  const int step = (v >> (seg + 3)) & 0x0F;
  return static_cast<uint8_t>(~(sign | (seg << 4) | step));
}

int16_t g711_ulaw_to_linear(uint8_t code) {
  const int c = static_cast<uint8_t>(~code);
  const int seg = (c >> 4) & 0x07;
  const int step = c & 0x0F;
  const int v = (((step << 3) + kUlawBias) << seg) - kUlawBias;
  return static_cast<int16_t>((c & 0x80) ? -v : v);
}

uint8_t g711_linear_to_alaw(int16_t sample) {
  int v = sample >> 3;  // 13-bit
  int sign = 0x80;      // A-law sends a set sign bit for positive values
  if (v < 0) {
    v = -v - 1;
    sign = 0;
  }
  if (v > 0x0FFF) v = 0x0FFF;
  int code;
  if (v < 32) {
    code = v >> 1;  // segment 0: linear
  } else {
    int seg = 1;
    for (int m = v >> 6; m != 0; m >>= 1) ++seg;
    code = (seg << 4) | ((v >> seg) & 0x0F);
  }
  return static_cast<uint8_t>((sign | code) ^ 0x55);
}

int16_t g711_alaw_to_linear(uint8_t code) {
  const int c = code ^ 0x55;
  const int seg = (c >> 4) & 0x07;
  const int step = c & 0x0F;
  int v = (step << 4) + 8;  // middle of the step, 16-bit units
  if (seg != 0) v = (v + 0x100) << (seg - 1);
  return static_cast<int16_t>((c & 0x80) ? v : -v);
}

void g711_encode_ulaw(const int16_t* in, uint8_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = g711_linear_to_ulaw(in[i]);
}

void g711_decode_ulaw(const uint8_t* in, int16_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = g711_ulaw_to_linear(in[i]);
}

void g711_encode_alaw(const int16_t* in, uint8_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = g711_linear_to_alaw(in[i]);
}

void g711_decode_alaw(const uint8_t* in, int16_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = g711_alaw_to_linear(in[i]);
}
