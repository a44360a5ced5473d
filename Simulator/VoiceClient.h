#ifndef SIMULATOR_VOICECLIENT_H
#define SIMULATOR_VOICECLIENT_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Simulator/Audio.h"
#include "Simulator/EventLog.h"
#include "Simulator/G729.h"
#include "Simulator/Links.h"
#include "Simulator/VoiceStats.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceClient.h"

namespace velsim {

// The runtime's calls into the gateway's voice host at
// "/NAME/multirtp_from_skypekit_key", through the voice interface's client
// (Sid::SkypeMultiRTPInterfaceClient): one thread that connects while the
// account is online, sets up and tears down each call's channel, and
// submits one 20 ms RTP packet per sending channel every 20 ms.
class VoiceClient : public VoiceLink {
public:
  VoiceClient(const std::string& account, EventLog& log, VoiceStats& stats);
  ~VoiceClient() override;
  VoiceClient(const VoiceClient&) = delete;
  VoiceClient& operator=(const VoiceClient&) = delete;

  void stop();

  void open(uint32_t call, uint32_t call_member_id, uint32_t conversation, int tone_hz,
            const std::string& audio_file, bool send_now) override;
  void start_sending(uint32_t call) override;
  void start_recording(uint32_t call) override;
  void set_tone(uint32_t call, int tone_hz) override;
  void close(uint32_t call) override;
  void set_online(bool online) override;
  std::string stats(uint32_t call) override { return m_stats.text(call); }

private:
  struct Channel {
    int id = -1;
    bool sending = false;
    std::string codec;
    int pt = 0;
    audio::Tone tone;
    std::string file;
    size_t file_pos = 0;
    uint16_t seq = 0;
    uint32_t ts = 0, ssrc = 0;
    bool first = true;
    std::unique_ptr<g729::Encoder> g729;  // G729 without an audio file
  };

  void post(std::function<void()> job);
  void run();
  bool connect(int timeout_ms);
  void disconnect(const char* why);
  // Whether a call returning rv went through; an error response is
  // logged, a broken connection is dropped.
  bool answered(int rv, const char* name);
  bool choose_codec(std::string& name, int& pt);
  void fill_payload(Channel& ch, char* payload, size_t n);
  void do_open(uint32_t call, uint32_t cmid, uint32_t conv, int tone_hz, const std::string& file, bool send_now);
  void do_close(uint32_t call);
  void tick();

  std::string m_key;
  EventLog& m_log;
  VoiceStats& m_stats;

  std::mutex m_qmutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_jobs;
  bool m_stop = false;

  // Voice thread only.
  std::mutex m_conn_mutex;  // guards m_conn against stop() from another thread
  std::unique_ptr<Sid::SkypeMultiRTPInterfaceClient> m_conn;
  bool m_connected = false;
  bool m_online = false;
  std::map<uint32_t, Channel> m_channels;
  std::chrono::steady_clock::time_point m_next_connect;
  std::thread m_thread;
};

}  // namespace velsim

#endif
