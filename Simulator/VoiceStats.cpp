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

void VoiceStats::received(int channel, const std::string& rtp) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto ch = m_by_channel.find(channel);
  if (ch == m_by_channel.end()) {
    ++m_unmatched;
    return;
  }
  PerCall& c = m_calls[ch->second];
  ++c.rx_packets;
  c.rx_bytes += rtp.size();
  if (rtp.size() < 12) return;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(rtp.data());
  size_t header = 12 + 4 * static_cast<size_t>(p[0] & 0x0F);
  if ((p[0] & 0x10) && rtp.size() >= header + 4) header += 4 + 4 * static_cast<size_t>((p[header + 2] << 8) | p[header + 3]);
  if (header >= rtp.size()) return;
  bool ulaw = c.codec == "PCMU", alaw = c.codec == "PCMA";
  if (!ulaw && !alaw) return;
  std::vector<int16_t> pcm;
  pcm.reserve(rtp.size() - header);
  for (size_t n = header; n < rtp.size(); ++n)
    pcm.push_back(ulaw ? g711_ulaw_to_linear(p[n]) : g711_alaw_to_linear(p[n]));
  c.analyser.add(pcm.data(), pcm.size());
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
