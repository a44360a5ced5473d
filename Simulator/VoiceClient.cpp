#include "Simulator/VoiceClient.h"

#include "Velmora/audio/g711.h"
#include "VoiceHost/sid/protocol/Status.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace velsim {

namespace {
constexpr size_t kG729Payload = 2 * g729::kFrameBytes;  // 20 ms
}  // namespace

VoiceClient::VoiceClient(const std::string& account, EventLog& log, VoiceStats& stats)
    : m_key("/" + account + "/multirtp_from_skypekit_key"), m_log(log), m_stats(stats) {
  m_thread = std::thread([this] { run(); });
}

VoiceClient::~VoiceClient() { stop(); }

void VoiceClient::stop() {
  {
    std::lock_guard<std::mutex> lock(m_qmutex);
    m_stop = true;
    m_cv.notify_one();
  }
  {
    // Wakes the voice thread if it is blocked on the voice host.
    std::lock_guard<std::mutex> lock(m_conn_mutex);
    if (m_conn) m_conn->Disconnect();
  }
  if (m_thread.joinable()) m_thread.join();
}

void VoiceClient::post(std::function<void()> job) {
  std::lock_guard<std::mutex> lock(m_qmutex);
  m_jobs.push_back(std::move(job));
  m_cv.notify_one();
}

void VoiceClient::open(uint32_t call, uint32_t cmid, uint32_t conv, int tone_hz, const std::string& file,
                       bool send_now) {
  post([=, this] { do_open(call, cmid, conv, tone_hz, file, send_now); });
}

void VoiceClient::start_sending(uint32_t call) {
  post([this, call] {
    auto it = m_channels.find(call);
    if (it != m_channels.end() && !it->second.sending) {
      it->second.sending = true;
      m_log.printf("VOICE", "call %u: sending audio on channel %d", call, it->second.id);
    }
  });
}

void VoiceClient::start_recording(uint32_t call) {
  post([this, call] {
    auto it = m_channels.find(call);
    if (it == m_channels.end() || !m_connected) return;
    int rv = m_conn->StartRecording(it->second.id);
    if (answered(rv, "StartRecording"))
      m_log.printf("VOICE", "call %u: StartRecording channel %d rv=%d", call, it->second.id, rv);
  });
}

void VoiceClient::set_tone(uint32_t call, int tone_hz) {
  post([this, call, tone_hz] {
    auto it = m_channels.find(call);
    if (it != m_channels.end()) it->second.tone.set(tone_hz);
  });
}

void VoiceClient::close(uint32_t call) {
  post([this, call] { do_close(call); });
}

void VoiceClient::set_online(bool online) {
  post([this, online] {
    m_online = online;
    if (online) m_next_connect = std::chrono::steady_clock::now();
  });
}

bool VoiceClient::connect(int timeout_ms) {
  auto conn = std::make_unique<Sid::SkypeMultiRTPInterfaceClient>();
  {
    std::lock_guard<std::mutex> lock(m_conn_mutex);
    m_conn = std::move(conn);
  }
  if (!m_conn->Connect(m_key.c_str(), timeout_ms)) {
    std::lock_guard<std::mutex> lock(m_conn_mutex);
    m_conn.reset();
    return false;
  }
  m_connected = true;
  m_log.printf("VOICE", "connected to the voice host at %s", m_key.c_str());
  return true;
}

void VoiceClient::disconnect(const char* why) {
  if (!m_connected) return;
  m_connected = false;
  m_log.printf("VOICE", "voice host connection lost (%s)", why);
  std::lock_guard<std::mutex> lock(m_conn_mutex);
  if (m_conn) m_conn->Disconnect();
  m_conn.reset();
  for (auto& [call, ch] : m_channels) ch.sending = false;
}

bool VoiceClient::answered(int rv, const char* name) {
  if (rv != -1 || m_conn->last_status() == Sid::Protocol::OK) return true;
  if (m_conn->last_status() == Sid::Protocol::ERR_CALL) {
    m_log.printf("VOICE", "%s answered with the error response", name);
  } else {
    char why[64];
    snprintf(why, sizeof why, "%s failed", name);
    disconnect(why);
  }
  return false;
}

bool VoiceClient::choose_codec(std::string& name, int& pt) {
  unsigned count = 0;
  if (!answered(m_conn->GetCodecCount(count), "GetCodecCount")) return false;
  for (unsigned id = 0; id < count && id < 16 && m_connected; ++id) {
    Sid::SkypeMultiRTPInterface::Codec codec;
    int rv = m_conn->GetCodec(id, codec);
    if (!answered(rv, "GetCodec") || rv != 1) continue;
    std::string n(codec.Name.data(), codec.Name.length());
    if (n == "PCMU" || n == "PCMA" || n == "G729") {
      name = n;
      pt = codec.PayloadType;
      return true;
    }
  }
  return false;
}

void VoiceClient::do_open(uint32_t call, uint32_t cmid, uint32_t conv, int tone_hz, const std::string& file,
                          bool send_now) {
  if (!m_connected && !connect(500)) {
    m_log.printf("VOICE", "call %u: no voice host at %s, the call has no audio", call, m_key.c_str());
    return;
  }
  Channel ch;
  ch.tone.set(tone_hz);
  if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    ch.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (ch.file.empty()) m_log.printf("VOICE", "call %u: audio file %s unreadable or empty, using the tone", call, file.c_str());
  }
  if (!choose_codec(ch.codec, ch.pt)) {
    m_log.printf("VOICE", "call %u: the voice host offers no PCMU, PCMA or G729 codec", call);
    return;
  }
  int channel = -1;
  int rv = m_conn->CreateChannel(cmid, conv, channel);
  if (!answered(rv, "CreateChannel") || rv != 1) {
    m_log.printf("VOICE", "call %u: CreateChannel failed", call);
    return;
  }
  ch.id = channel;
  m_stats.bind(ch.id, call, ch.codec);
  m_log.printf("VOICE", "call %u: CreateChannel cmid=%u conv=%u -> channel %d, codec %s pt %d", call, cmid, conv,
               ch.id, ch.codec.c_str(), ch.pt);
  int bitrate = ch.codec == "G729" ? 8000 : 64000;
  int rv_codec = m_conn->SetSendCodec(ch.id, ch.codec.c_str(), 20, bitrate, ch.pt);
  bool ok = answered(rv_codec, "SetSendCodec");
  int rv_play = ok ? m_conn->StartPlayback(ch.id) : 0;
  ok = ok && answered(rv_play, "StartPlayback");
  m_log.printf("VOICE", "call %u: SetSendCodec rv=%d StartPlayback rv=%d", call, rv_codec, rv_play);
  if (!ok) return;
  if (ch.codec == "G729" && ch.file.empty()) ch.g729 = std::make_unique<g729::Encoder>();
  std::random_device rd;
  ch.ssrc = rd();
  ch.seq = static_cast<uint16_t>(rd());
  ch.sending = send_now;
  if (send_now) m_log.printf("VOICE", "call %u: sending audio on channel %d", call, ch.id);
  m_channels[call] = std::move(ch);
}

void VoiceClient::do_close(uint32_t call) {
  auto it = m_channels.find(call);
  if (it == m_channels.end()) return;
  int id = it->second.id;
  m_channels.erase(it);
  m_stats.unbind(call);
  if (!m_connected) return;
  int rv[3] = {0, 0, 0};
  const char* names[3] = {"StopPlayback", "StopRecording", "DeleteChannel"};
  for (int k = 0; k < 3 && m_connected; ++k) {
    rv[k] = k == 0 ? m_conn->StopPlayback(id) : k == 1 ? m_conn->StopRecording(id) : m_conn->DeleteChannel(id);
    answered(rv[k], names[k]);
  }
  m_log.printf("VOICE", "call %u: StopPlayback rv=%d StopRecording rv=%d DeleteChannel rv=%d on channel %d", call,
               rv[0], rv[1], rv[2], id);
}

void VoiceClient::fill_payload(Channel& ch, char* payload, size_t n) {
  if (!ch.file.empty()) {
    for (size_t k = 0; k < n; ++k) {
      payload[k] = ch.file[ch.file_pos];
      ch.file_pos = (ch.file_pos + 1) % ch.file.size();
    }
    return;
  }
  int16_t pcm[audio::kFrame];
  ch.tone.fill(pcm, audio::kFrame);
  if (ch.g729) {
    ch.g729->encode(pcm, audio::kFrame, reinterpret_cast<uint8_t*>(payload));
    return;
  }
  bool ulaw = ch.codec == "PCMU";
  for (size_t k = 0; k < n && k < audio::kFrame; ++k)
    payload[k] = static_cast<char>(ulaw ? g711_linear_to_ulaw(pcm[k]) : g711_linear_to_alaw(pcm[k]));
}

void VoiceClient::tick() {
  for (auto& [call, ch] : m_channels) {
    if (!ch.sending || !m_connected) continue;
    size_t payload = ch.codec == "G729" ? kG729Payload : audio::kFrame;
    std::string pkt(12 + payload, '\0');
    pkt[0] = static_cast<char>(0x80);
    pkt[1] = static_cast<char>((ch.first ? 0x80 : 0) | (ch.pt & 0x7F));
    pkt[2] = static_cast<char>(ch.seq >> 8);
    pkt[3] = static_cast<char>(ch.seq);
    for (int k = 0; k < 4; ++k) {
      pkt[4 + k] = static_cast<char>(ch.ts >> (24 - 8 * k));
      pkt[8 + k] = static_cast<char>(ch.ssrc >> (24 - 8 * k));
    }
    ch.first = false;
    ++ch.seq;
    ch.ts += audio::kFrame;
    fill_payload(ch, pkt.data() + 12, payload);
    m_conn->SubmitRTPPacket(ch.id, SEBinary(pkt.data(), static_cast<unsigned>(pkt.size())));
    if (m_conn->last_status() != Sid::Protocol::OK) {
      disconnect("SubmitRTPPacket failed");
      return;
    }
    m_stats.sent(call);
  }
}

void VoiceClient::run() {
  using clock = std::chrono::steady_clock;
  auto next_tick = clock::now();
  std::unique_lock<std::mutex> lock(m_qmutex);
  while (!m_stop) {
    m_cv.wait_until(lock, next_tick, [this] { return m_stop || !m_jobs.empty(); });
    if (m_stop) break;
    while (!m_jobs.empty()) {
      auto job = std::move(m_jobs.front());
      m_jobs.pop_front();
      lock.unlock();
      job();
      lock.lock();
      if (m_stop) return;
    }
    lock.unlock();
    auto now = clock::now();
    if (m_online && !m_connected && now >= m_next_connect) {
      connect(200);
      m_next_connect = clock::now() + std::chrono::seconds(1);
    }
    if (now >= next_tick) {
      tick();
      next_tick += std::chrono::milliseconds(20);
      if (clock::now() - next_tick > std::chrono::milliseconds(200)) next_tick = clock::now();
    }
    lock.lock();
  }
}

}  // namespace velsim
