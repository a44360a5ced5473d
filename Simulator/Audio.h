#ifndef SIMULATOR_AUDIO_H
#define SIMULATOR_AUDIO_H

// Telephone audio for the simulator's remote parties and for judging what
// the gateway sends: a tone source, and an analyser that finds the dominant
// frequency and the DTMF digits of 8000 Hz audio. G.711 coding is the
// gateway's own (Velmora/audio/g711.h).

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velsim::audio {

constexpr int kRate = 8000;
constexpr size_t kFrame = 160;  // 20 ms

// A sine tone; frequency 0 gives silence.
class Tone {
public:
  explicit Tone(int hz = 0, int amplitude = 8000) : m_hz(hz), m_amplitude(amplitude) {}
  void set(int hz) { m_hz = hz; }
  int hz() const { return m_hz; }
  void fill(int16_t* out, size_t n);

private:
  int m_hz;
  int m_amplitude;
  double m_phase = 0;
};

// Goertzel power of `freq` over n samples.
double goertzel(const int16_t* x, size_t n, double freq);

// The DTMF digit of one 20 ms frame ("0"-"9", '*', '#'), or 0.
char dtmf_digit(const int16_t* x, size_t n);

// Accumulates the audio of one call direction.
class Analyser {
public:
  void add(const int16_t* x, size_t n);
  // Most recent non-silent block's dominant frequency (Hz, 10 Hz steps); 0
  // when nothing but silence was heard.
  int last_freq() const { return m_last_freq; }
  // The frequency that dominated the most non-silent 100 ms blocks.
  int top_freq() const;
  const std::string& digits() const { return m_digits; }
  size_t blocks() const { return m_blocks; }
  size_t silent_blocks() const { return m_silent; }

private:
  static constexpr size_t kBlock = 800;  // 100 ms: 10 Hz resolution
  void block();
  void frame(const int16_t* x);

  std::vector<int16_t> m_pending;
  std::vector<int16_t> m_frame;
  std::map<int, size_t> m_hist;
  int m_last_freq = 0;
  size_t m_blocks = 0, m_silent = 0;
  std::string m_digits;
  char m_prev_digit = 0;
  int m_digit_frames = 0;
  bool m_digit_taken = false;
};

}  // namespace velsim::audio

#endif
