#include "Simulator/VoiceStats.h"

#include "Velmora/audio/g711.h"

#include <vector>

namespace velsim {

void VoiceStats::bind(int channel, uint32_t call, const std::string& codec) {
  std::lock_guard<std::mutex> lock(m_mutex);
  PerCall& c = m_calls[call];
  c.channel = channel;
  c.codec = codec;
  c.bound = true;
  if (codec == "G729" && !c.g729) c.g729 = std::make_unique<g729::Decoder>();
  m_by_channel[channel] = call;
}

void VoiceStats::unbind(uint32_t call) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_calls.find(call);
  if (it == m_calls.end() || !it->second.bound) return;
  it->second.bound = false;
  auto ch = m_by_channel.find(it->second.channel);
  if (ch != m_by_channel.end() && ch->second == call) m_by_channel.erase(ch);
}

void VoiceStats::sent(uint32_t call) {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_calls[call].tx_packets;
}

void VoiceStats::received(int channel, const uint8_t* p, size_t n) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto ch = m_by_channel.find(channel);
  if (ch == m_by_channel.end()) {
    ++m_unmatched;
    return;
  }
  PerCall& c = m_calls[ch->second];
  ++c.rx_packets;
  c.rx_bytes += n;
  if (n < 12) return;
  size_t header = 12 + 4 * static_cast<size_t>(p[0] & 0x0F);
  if ((p[0] & 0x10) && n >= header + 4) header += 4 + 4 * static_cast<size_t>((p[header + 2] << 8) | p[header + 3]);
  if (header >= n) return;
  const uint8_t* payload = p + header;
  size_t len = n - header;
  std::vector<int16_t> pcm;
  if (c.codec == "PCMU" || c.codec == "PCMA") {
    bool ulaw = c.codec == "PCMU";
    pcm.reserve(len);
    for (size_t k = 0; k < len; ++k) pcm.push_back(ulaw ? g711_ulaw_to_linear(payload[k]) : g711_alaw_to_linear(payload[k]));
  } else if (c.g729) {
    pcm.resize((len / g729::kFrameBytes + 1) * g729::kFrameSamples);
    pcm.resize(c.g729->decode(payload, len, pcm.data()));
  }
  if (!pcm.empty()) c.analyser.add(pcm.data(), pcm.size());
}

std::string VoiceStats::text(uint32_t call) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_calls.find(call);
  if (it == m_calls.end()) return "voice=none";
  const PerCall& c = it->second;
  const auto& a = c.analyser;
  return "voice_channel=" + std::to_string(c.channel) + " codec=" + (c.codec.empty() ? "-" : c.codec) +
         " sent=" + std::to_string(c.tx_packets) + " received=" + std::to_string(c.rx_packets) +
         " bytes=" + std::to_string(c.rx_bytes) + " freq=" + std::to_string(a.last_freq()) +
         " top_freq=" + std::to_string(a.top_freq()) + " blocks=" + std::to_string(a.blocks()) +
         " silent=" + std::to_string(a.silent_blocks()) + " dtmf=" + (a.digits().empty() ? "-" : a.digits());
}

uint64_t VoiceStats::unmatched() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_unmatched;
}

}  // namespace velsim
