#ifndef SIMULATOR_VOICESTATS_H
#define SIMULATOR_VOICESTATS_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "Simulator/Audio.h"

namespace velsim {

// What each call's voice channel sent and received, shared by the voice
// client (which binds channels to calls) and the callback listener (which
// records what the gateway delivers).
class VoiceStats {
public:
  void bind(int channel, uint32_t call, const std::string& codec);
  void unbind(uint32_t call);
  void sent(uint32_t call);
  // One SendRTPPacket from the gateway: an RTP packet for `channel`.
  void received(int channel, const std::string& rtp);
  std::string text(uint32_t call);
  uint64_t unmatched();

private:
  struct PerCall {
    int channel = -1;
    std::string codec;
    bool bound = false;
    uint64_t tx_packets = 0, rx_packets = 0, rx_bytes = 0;
    audio::Analyser analyser;
  };
  std::mutex m_mutex;
  std::map<uint32_t, PerCall> m_calls;
  std::map<int, uint32_t> m_by_channel;
  uint64_t m_unmatched = 0;
};

}  // namespace velsim

#endif
