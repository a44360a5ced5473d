#ifndef SIMULATOR_VOICESTATS_H
#define SIMULATOR_VOICESTATS_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Simulator/Audio.h"
#include "Simulator/G729.h"

namespace velsim {

// What each call's voice channel sent and received, shared by the voice
// client (which binds channels to calls) and the callback listener (which
// records what the gateway delivers).
class VoiceStats {
public:
  void bind(int channel, uint32_t call, const std::string& codec);
  void unbind(uint32_t call);
  void sent(uint32_t call);
  // One SendRTPPacket from the gateway: an RTP packet for `channel`, whose
  // audio (PCMU, PCMA or G729) goes to the call's analyser.
  void received(int channel, const uint8_t* rtp, size_t n);
  std::string text(uint32_t call);
  uint64_t unmatched();

private:
  struct PerCall {
    int channel = -1;
    std::string codec;
    bool bound = false;
    uint64_t tx_packets = 0, rx_packets = 0, rx_bytes = 0;
    audio::Analyser analyser;
    std::unique_ptr<g729::Decoder> g729;
  };
  std::mutex m_mutex;
  std::map<uint32_t, PerCall> m_calls;
  std::map<int, uint32_t> m_by_channel;
  uint64_t m_unmatched = 0;
};

}  // namespace velsim

#endif
