#ifndef SIMULATOR_VOICECALLBACK_H
#define SIMULATOR_VOICECALLBACK_H

#include <atomic>
#include <string>
#include <thread>

#include "Simulator/EventLog.h"
#include "Simulator/VoiceStats.h"

namespace velsim {

// The runtime's callback socket "/NAME/multirtp_to_skypekit_key": the
// gateway's voice host connects here and delivers SendRTPPacket calls,
// which are recorded per call. A new connection replaces the old one.
class VoiceCallback {
public:
  VoiceCallback(EventLog& log, VoiceStats& stats) : m_log(log), m_stats(stats) {}
  ~VoiceCallback();
  VoiceCallback(const VoiceCallback&) = delete;
  VoiceCallback& operator=(const VoiceCallback&) = delete;

  // Binds and listens; false (with `error`) when the name is taken.
  bool start(const std::string& account, std::string& error);
  void stop();

  // Consumes complete messages at the front of `buf`; returns false when
  // the stream cannot be decoded at all (the connection is then dropped).
  // Public for tests.
  bool consume(std::string& buf);

private:
  void run();

  EventLog& m_log;
  VoiceStats& m_stats;
  std::string m_key;
  int m_listen = -1;
  int m_wake[2] = {-1, -1};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  uint64_t m_calls = 0, m_bad = 0;
};

}  // namespace velsim

#endif
