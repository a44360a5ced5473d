#ifndef SIMULATOR_VOICECALLBACK_H
#define SIMULATOR_VOICECALLBACK_H

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "Simulator/EventLog.h"
#include "Simulator/Listener.h"
#include "Simulator/StreamTransport.h"
#include "Simulator/VoiceStats.h"

namespace velsim {

// The runtime's callback socket "/NAME/multirtp_to_skypekit_key": the
// gateway's voice host connects here and delivers SendRTPPacket calls,
// read with the voice interface's BinServer and descriptors and recorded
// per call. A new connection replaces the old one.
class VoiceCallback {
public:
  VoiceCallback(EventLog& log, VoiceStats& stats) : m_log(log), m_stats(stats) {}
  ~VoiceCallback();
  VoiceCallback(const VoiceCallback&) = delete;
  VoiceCallback& operator=(const VoiceCallback&) = delete;

  // Binds and listens; false (with `error`) when the name is taken.
  bool start(const std::string& account, std::string& error);
  void stop();

  // Reads SendRTPPacket calls from one connection until it ends; bad input
  // is logged and skipped up to the next message start. Public for tests.
  void serve(StreamTransport& transport);

private:
  void run();
  void end_connection();

  EventLog& m_log;
  VoiceStats& m_stats;
  std::string m_key;
  Listener m_listener;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  // The current connection and the thread serving it (acceptor thread only).
  std::unique_ptr<FdTransport> m_conn;
  std::thread m_conn_thread;
  uint64_t m_calls = 0, m_bad = 0;
};

}  // namespace velsim

#endif
