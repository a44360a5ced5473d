#include "Simulator/Audio.h"

#include <cmath>

namespace velsim::audio {

void Tone::fill(int16_t* out, size_t n) {
  const double step = 2 * M_PI * m_hz / kRate;
  for (size_t k = 0; k < n; ++k) {
    out[k] = m_hz ? static_cast<int16_t>(std::lround(m_amplitude * std::sin(m_phase))) : 0;
    m_phase += step;
    if (m_phase > 2 * M_PI) m_phase -= 2 * M_PI;
  }
}

double goertzel(const int16_t* x, size_t n, double freq) {
  const double coeff = 2 * std::cos(2 * M_PI * freq / kRate);
  double s1 = 0, s2 = 0;
  for (size_t k = 0; k < n; ++k) {
    double s0 = x[k] + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

char dtmf_digit(const int16_t* x, size_t n) {
  static constexpr double kRows[4] = {697, 770, 852, 941};
  static constexpr double kCols[4] = {1209, 1336, 1477, 1633};
  static constexpr char kKeys[4][4] = {{'1', '2', '3', 'A'}, {'4', '5', '6', 'B'}, {'7', '8', '9', 'C'}, {'*', '0', '#', 'D'}};
  double energy = 0;
  for (size_t k = 0; k < n; ++k) energy += static_cast<double>(x[k]) * x[k];
  if (energy / n < 200.0 * 200.0) return 0;  // too quiet
  int row = 0, col = 0;
  double rp[4], cp[4];
  for (int k = 0; k < 4; ++k) {
    rp[k] = goertzel(x, n, kRows[k]);
    cp[k] = goertzel(x, n, kCols[k]);
    if (rp[k] > rp[row]) row = k;
    if (cp[k] > cp[col]) col = k;
  }
  // Both tones clearly above the other candidates, and together most of the
  // frame's energy (a pure tone of amplitude A over n samples gives a
  // Goertzel power of about (A n / 2)^2, its energy is A^2 n / 2).
  for (int k = 0; k < 4; ++k) {
    if (k != row && rp[k] * 4 > rp[row]) return 0;
    if (k != col && cp[k] * 4 > cp[col]) return 0;
  }
  double tone_energy = 2 * (rp[row] + cp[col]) / n;
  if (tone_energy < 0.6 * energy) return 0;
  char key = kKeys[row][col];
  return key >= 'A' && key <= 'D' ? 0 : key;
}

void Analyser::add(const int16_t* x, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    m_pending.push_back(x[k]);
    m_frame.push_back(x[k]);
    if (m_frame.size() == kFrame) {
      frame(m_frame.data());
      m_frame.clear();
    }
    if (m_pending.size() == kBlock) {
      block();
      m_pending.clear();
    }
  }
}

void Analyser::frame(const int16_t* x) {
  char d = dtmf_digit(x, kFrame);
  if (d && d == m_prev_digit) {
    // Two frames of the same digit (40 ms) count as a key press, once.
    if (++m_digit_frames >= 2 && !m_digit_taken) {
      m_digits += d;
      m_digit_taken = true;
    }
  } else {
    m_prev_digit = d;
    m_digit_frames = d ? 1 : 0;
    m_digit_taken = false;
  }
}

void Analyser::block() {
  ++m_blocks;
  double energy = 0;
  for (int16_t s : m_pending) energy += static_cast<double>(s) * s;
  if (energy / kBlock < 100.0 * 100.0) {
    ++m_silent;
    return;
  }
  int best = 0;
  double best_power = 0;
  for (int f = 50; f <= 3950; f += 10) {
    double p = goertzel(m_pending.data(), kBlock, f);
    if (p > best_power) {
      best_power = p;
      best = f;
    }
  }
  m_last_freq = best;
  ++m_hist[best];
}

int Analyser::top_freq() const {
  int best = 0;
  size_t count = 0;
  for (const auto& [f, n] : m_hist)
    if (n > count) {
      count = n;
      best = f;
    }
  return best;
}

}  // namespace velsim::audio
