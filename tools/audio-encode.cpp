// Encoder of the built-in audio, used by make-audio-assets.sh.
//
//   audio-encode prompt IN.raw SAMPLES OUT_PCMU OUT_PCMA OUT_G729 G729_SAMPLES
//       IN.raw holds exactly SAMPLES 16-bit little-endian samples at 8000 Hz;
//       writes them as PCMU and PCMA, and the first G729_SAMPLES as G.729.
//   audio-encode tones OUTDIR
//       writes tone4501s.bin, tone450g1s.bin and dtmf.bin into OUTDIR.
//
// Built against bcg729 (libbcg729-dev) and Velmora/audio/g711.cpp.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <bcg729/encoder.h>
}

#include "Velmora/audio/g711.h"

namespace {

constexpr int kRate = 8000;
constexpr int kG729Frame = 80;  // samples per 10-byte frame

using Samples = std::vector<int16_t>;
using Bytes = std::vector<uint8_t>;

bool write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    fprintf(stderr, "audio-encode: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

Bytes ulaw(const Samples& s) {
  Bytes b(s.size());
  g711_encode_ulaw(s.data(), b.data(), s.size());
  return b;
}

Bytes alaw(const Samples& s) {
  Bytes b(s.size());
  g711_encode_alaw(s.data(), b.data(), s.size());
  return b;
}

// G.729 Annex A without VAD: every 80 samples give 10 bytes.
Bytes g729(const Samples& s, size_t samples) {
  Bytes out;
  bcg729EncoderChannelContextStruct* enc = initBcg729EncoderChannel(0);
  if (enc == nullptr) return out;
  for (size_t at = 0; at + kG729Frame <= samples && at + kG729Frame <= s.size(); at += kG729Frame) {
    uint8_t frame[10];
    uint8_t len = 0;
    bcg729Encoder(enc, s.data() + at, frame, &len);
    out.insert(out.end(), frame, frame + len);
  }
  closeBcg729EncoderChannel(enc);
  return out;
}

// Sum of sines with a short raised-cosine ramp at both ends; `ramp` 0 for none.
Samples tone(const std::vector<std::pair<double, double>>& parts, size_t count, size_t ramp) {
  Samples s(count);
  for (size_t i = 0; i < count; ++i) {
    double v = 0;
    for (const auto& [freq, amp] : parts) v += amp * std::sin(2.0 * M_PI * freq * static_cast<double>(i) / kRate);
    double gain = 1.0;
    if (ramp > 0) {
      const size_t edge = std::min(i, count - 1 - i);
      if (edge < ramp) gain = 0.5 - 0.5 * std::cos(M_PI * static_cast<double>(edge) / static_cast<double>(ramp));
    }
    s[i] = static_cast<int16_t>(std::lround(v * gain));
  }
  return s;
}

int cmd_prompt(char** argv) {
  const std::string in_path = argv[0];
  const size_t samples = std::strtoul(argv[1], nullptr, 10);
  const size_t g729_samples = std::strtoul(argv[5], nullptr, 10);
  std::ifstream in(in_path, std::ios::binary);
  const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (raw.size() != samples * 2) {
    fprintf(stderr, "audio-encode: %s has %zu bytes, expected %zu\n", in_path.c_str(), raw.size(), samples * 2);
    return 1;
  }
  Samples s(samples);
  for (size_t i = 0; i < samples; ++i) {
    s[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  }
  const Bytes g = g729(s, g729_samples);
  if (g.size() != g729_samples / 8) {
    fprintf(stderr, "audio-encode: G.729 gave %zu bytes\n", g.size());
    return 1;
  }
  return write_file(argv[2], ulaw(s)) && write_file(argv[3], alaw(s)) && write_file(argv[4], g) ? 0 : 1;
}

int cmd_tones(const std::string& dir) {
  // Ringback: 450 Hz at about -10 dBm0; 450 whole cycles, so it loops without a click.
  const Samples ring = tone({{450.0, 7000.0}}, kRate, 0);
  Bytes both = ulaw(ring);
  const Bytes a = alaw(ring);
  both.insert(both.end(), a.begin(), a.end());
  const Bytes g = g729(ring, ring.size());

  // DTMF: the low and high group frequencies of each key, the high group
  // 2 dB louder; 5 ms ramps keep the edges click-free.
  static const char keys[] = "0123456789*#";
  static const double low[] = {697, 770, 852, 941};
  static const double high[] = {1209, 1336, 1477};
  static const int row[] = {3, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3};
  static const int col[] = {1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 2};
  std::vector<Samples> keytones;
  for (size_t k = 0; k < strlen(keys); ++k) {
    keytones.push_back(tone({{low[row[k]], 5000.0}, {high[col[k]], 6300.0}}, 1018, 40));
  }
  Bytes table;
  for (const Samples& t : keytones) {
    const Bytes u = ulaw(t);
    table.insert(table.end(), u.begin(), u.end());
  }
  for (const Samples& t : keytones) {
    const Bytes b = alaw(t);
    table.insert(table.end(), b.begin(), b.end());
  }
  return write_file(dir + "/tone4501s.bin", both) && write_file(dir + "/tone450g1s.bin", g) &&
                 write_file(dir + "/dtmf.bin", table)
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 8 && strcmp(argv[1], "prompt") == 0) return cmd_prompt(argv + 2);
  if (argc == 3 && strcmp(argv[1], "tones") == 0) return cmd_tones(argv[2]);
  fprintf(stderr,
          "usage: audio-encode prompt IN.raw SAMPLES OUT_PCMU OUT_PCMA OUT_G729 G729_SAMPLES\n"
          "       audio-encode tones OUTDIR\n");
  return 2;
}
