#ifndef VELMORA_AUDIO_AUDIOASSETS_H
#define VELMORA_AUDIO_AUDIOASSETS_H

// The built-in telephone audio (8000 Hz), sent as it is in 20 ms chunks:
// 160 bytes of PCMU or PCMA, or 20 bytes (two 10-byte frames) of G.729.
// The bytes come from Velmora/audio/data/, made by tools/make-audio-assets.sh.

#include <cstddef>

constexpr size_t PROMPT_EN_G711_LEN = 28960;   // 3.62 s
constexpr size_t PROMPT_EN_G729_LEN = 3600;    // 3.6 s
constexpr size_t PROMPT_ALT_G711_LEN = 41760;  // 5.22 s
constexpr size_t PROMPT_ALT_G729_LEN = 5200;   // 5.2 s
constexpr size_t TONE_G711_LEN = 8000;         // one second
constexpr size_t TONE_G729_LEN = 1000;         // one second
constexpr size_t DTMF_TONE_LEN = 1018;
constexpr size_t DTMF_TONES = 24;              // '0'..'9', '*', '#': PCMU, then PCMA

// The number prompt in English ("Please enter the number you want to call,
// followed by the pound key"), PCMU, PCMA and G.729.
extern const unsigned char inputnumberue[PROMPT_EN_G711_LEN];
extern const unsigned char inputnumberae[PROMPT_EN_G711_LEN];
extern const unsigned char inputnumberge[PROMPT_EN_G729_LEN];
// The same prompt in Mandarin Chinese, PCMU, PCMA and G.729.
extern const unsigned char inputnumber[PROMPT_ALT_G711_LEN];
extern const unsigned char inputnumbera[PROMPT_ALT_G711_LEN];
extern const unsigned char inputnumberg[PROMPT_ALT_G729_LEN];
// One second of 450 Hz: [0] PCMU, [1] PCMA; and in G.729.
extern const unsigned char tone4501s[2][TONE_G711_LEN];
extern const unsigned char tone450g1s[TONE_G729_LEN];
// DTMF tones: entry k (0..11) is '0'..'9', '*', '#' in PCMU, entry 12 + k the same in PCMA.
extern const unsigned char dtmf[DTMF_TONES][DTMF_TONE_LEN];

#endif
