#ifndef SIMULATOR_G729_H
#define SIMULATOR_G729_H

// G.729 coding of 8000 Hz audio (bcg729): 10 ms of audio (80 samples) is
// one 10-byte frame; the simulator's 20 ms packets carry two.

#include <cstddef>
#include <cstdint>

struct bcg729EncoderChannelContextStruct_struct;
struct bcg729DecoderChannelContextStruct_struct;

namespace velsim::g729 {

constexpr size_t kFrameSamples = 80;
constexpr size_t kFrameBytes = 10;

class Encoder {
public:
  Encoder();
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Encodes n samples (a multiple of 80) into n / 8 bytes at out; false
  // (nothing written) when n is not a whole number of frames.
  bool encode(const int16_t* pcm, size_t n, uint8_t* out);

private:
  bcg729EncoderChannelContextStruct_struct* m_ctx;
};

class Decoder {
public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Decodes the whole 10-byte frames of `bytes` (a trailing 2-byte comfort
  // noise frame is decoded as one too) into pcm, which has room for
  // 80 samples per frame; returns the number of samples written.
  size_t decode(const uint8_t* bytes, size_t n, int16_t* pcm);

private:
  bcg729DecoderChannelContextStruct_struct* m_ctx;
};

}  // namespace velsim::g729

#endif
