#include "Simulator/G729.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

namespace velsim::g729 {

Encoder::Encoder() : m_ctx(initBcg729EncoderChannel(0)) {}

Encoder::~Encoder() {
  if (m_ctx) closeBcg729EncoderChannel(m_ctx);
}

bool Encoder::encode(const int16_t* pcm, size_t n, uint8_t* out) {
  if (!m_ctx || n % kFrameSamples) return false;
  for (size_t k = 0; k < n; k += kFrameSamples) {
    uint8_t length = 0;
    bcg729Encoder(m_ctx, pcm + k, out, &length);
    out += kFrameBytes;  // without VAD every frame is a full one
  }
  return true;
}

Decoder::Decoder() : m_ctx(initBcg729DecoderChannel()) {}

Decoder::~Decoder() {
  if (m_ctx) closeBcg729DecoderChannel(m_ctx);
}

size_t Decoder::decode(const uint8_t* bytes, size_t n, int16_t* pcm) {
  if (!m_ctx) return 0;
  size_t samples = 0;
  while (n >= kFrameBytes) {
    bcg729Decoder(m_ctx, bytes, kFrameBytes, 0, 0, 0, pcm + samples);
    bytes += kFrameBytes;
    n -= kFrameBytes;
    samples += kFrameSamples;
  }
  if (n == 2) {  // a SID frame (Annex B): comfort noise
    bcg729Decoder(m_ctx, bytes, 2, 0, 1, 0, pcm + samples);
    samples += kFrameSamples;
  }
  return samples;
}

}  // namespace velsim::g729
