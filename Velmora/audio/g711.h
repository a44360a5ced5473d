#ifndef VELMORA_AUDIO_G711_H
#define VELMORA_AUDIO_G711_H

// G.711 companding of 16-bit linear telephone samples: mu-law (PCMU) and
// A-law (PCMA). Free of any gateway dependency, so that the asset generator,
// the tests and the runtime simulator compile it as it is.

#include <cstddef>
#include <cstdint>

uint8_t g711_linear_to_ulaw(int16_t sample);
int16_t g711_ulaw_to_linear(uint8_t code);
uint8_t g711_linear_to_alaw(int16_t sample);
int16_t g711_alaw_to_linear(uint8_t code);

// Whole buffers: `count` samples in, `count` codes out (or the reverse).
void g711_encode_ulaw(const int16_t* in, uint8_t* out, size_t count);
void g711_decode_ulaw(const uint8_t* in, int16_t* out, size_t count);
void g711_encode_alaw(const int16_t* in, uint8_t* out, size_t count);
void g711_decode_alaw(const uint8_t* in, int16_t* out, size_t count);

#endif
