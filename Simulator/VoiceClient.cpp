#include "Simulator/VoiceClient.h"

#include "Velmora/audio/g711.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace velsim {

namespace {

// Method ids of the voice host's interface.
enum : uint32_t {
  M_CREATE_CHANNEL = 10, M_DELETE_CHANNEL = 11, M_GET_CODEC = 20, M_GET_CODEC_COUNT = 21, M_SET_SEND_CODEC = 22,
  M_START_PLAYBACK = 30, M_STOP_PLAYBACK = 31, M_START_RECORDING = 32, M_STOP_RECORDING = 33, M_SUBMIT_RTP = 40
};

class TransportSource : public wire::Source {
public:
  explicit TransportSource(Sid::SocketTransport& t) : m_t(t) {}
  bool read(void* dst, size_t n) override {
    if (dst) return m_t.Read(dst, n);
    char scratch[256];
    while (n) {
      size_t k = std::min(n, sizeof scratch);
      if (!m_t.Read(scratch, k)) return false;
      n -= k;
    }
    return true;
  }

private:
  Sid::SocketTransport& m_t;
};

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
    wire::Writer p(false);
    p.i(1, it->second.id).end();
    wire::Message r;
    if (rpc(M_START_RECORDING, p, r, "StartRecording"))
      m_log.printf("VOICE", "call %u: StartRecording channel %d rv=%d", call, it->second.id, r.i(1));
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
  auto conn = std::make_unique<Sid::SocketTransport>();
  {
    std::lock_guard<std::mutex> lock(m_conn_mutex);
    m_conn = std::move(conn);
  }
  if (!m_conn->Connect(m_key.c_str(), false, timeout_ms)) {
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

bool VoiceClient::send_only(uint32_t method, const wire::Writer& params) {
  wire::Writer head(false);
  head.raw('Z').raw('R').varint(0).varint(method).varint(m_rid++);
  const std::string& h = head.bytes();
  const std::string& b = params.bytes();
  bool ok = m_conn->WriteStart() && m_conn->Write(h.data(), h.size()) && m_conn->Write(b.data(), b.size()) &&
            m_conn->WriteComplete();
  if (!ok) disconnect("write failed");
  return ok;
}

bool VoiceClient::rpc(uint32_t method, const wire::Writer& params, wire::Message& result, const char* name) {
  if (!m_connected) return false;
  uint32_t rid = m_rid;
  if (!send_only(method, params)) return false;
  TransportSource src(*m_conn);
  wire::Reader rd(src);
  uint8_t z = 0, cmd = 0;
  uint32_t got = 0;
  if (rd.byte(z) != wire::Status::Ok || rd.byte(cmd) != wire::Status::Ok || z != 'Z' || cmd != 'r' ||
      rd.u32(got) != wire::Status::Ok) {
    disconnect("bad response start");
    return false;
  }
  wire::Status s = rd.message(result);
  if (s == wire::Status::Call) {
    m_log.printf("VOICE", "%s rid=%u answered with the error response", name, got);
    return false;
  }
  if (s != wire::Status::Ok) {
    disconnect("undecodable response");
    return false;
  }
  if (got != rid) m_log.printf("VOICE", "%s: response for rid %u, expected %u", name, got, rid);
  return true;
}

bool VoiceClient::choose_codec(std::string& name, int& pt) {
  wire::Writer none(false);
  none.end();
  wire::Message r;
  if (!rpc(M_GET_CODEC_COUNT, none, r, "GetCodecCount")) return false;
  uint32_t count = r.u(1);
  for (uint32_t id = 0; id < count && id < 16; ++id) {
    wire::Writer p(false);
    p.u(1, id).end();
    wire::Message c;
    if (!rpc(M_GET_CODEC, p, c, "GetCodec") || c.u(20) != 1) continue;
    const wire::Field* f = c.get(1);
    if (!f || f->kind != wire::K_STRUCT) continue;
    wire::Message codec;
    codec.fields = f->items;
    std::string n = codec.s(10);
    if (n == "PCMU" || n == "PCMA" || n == "G729") {
      name = n;
      pt = codec.i(11);
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
  wire::Writer p(false);
  p.u(1, cmid).u(2, conv).end();
  wire::Message r;
  if (!rpc(M_CREATE_CHANNEL, p, r, "CreateChannel") || r.i(2) != 1) {
    m_log.printf("VOICE", "call %u: CreateChannel failed", call);
    return;
  }
  ch.id = r.i(1);
  m_stats.bind(ch.id, call, ch.codec);
  m_log.printf("VOICE", "call %u: CreateChannel cmid=%u conv=%u -> channel %d, codec %s pt %d", call, cmid, conv,
               ch.id, ch.codec.c_str(), ch.pt);
  int bitrate = ch.codec == "G729" ? 8000 : 64000;
  wire::Writer sc(false);
  sc.i(1, ch.id).s(2, ch.codec).i(3, 20).i(4, bitrate).i(5, ch.pt).end();
  wire::Writer sp(false);
  sp.i(1, ch.id).end();
  wire::Message r1, r2;
  bool ok = rpc(M_SET_SEND_CODEC, sc, r1, "SetSendCodec") && rpc(M_START_PLAYBACK, sp, r2, "StartPlayback");
  m_log.printf("VOICE", "call %u: SetSendCodec rv=%d StartPlayback rv=%d", call, r1.i(1), r2.i(1));
  if (!ok) return;
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
  wire::Writer p(false);
  p.i(1, id).end();
  wire::Message r1, r2, r3;
  rpc(M_STOP_PLAYBACK, p, r1, "StopPlayback");
  rpc(M_STOP_RECORDING, p, r2, "StopRecording");
  rpc(M_DELETE_CHANNEL, p, r3, "DeleteChannel");
  m_log.printf("VOICE", "call %u: StopPlayback rv=%d StopRecording rv=%d DeleteChannel rv=%d on channel %d", call,
               r1.i(1), r2.i(1), r3.i(1), id);
}

void VoiceClient::tick() {
  for (auto& [call, ch] : m_channels) {
    if (!ch.sending || !m_connected) continue;
    size_t payload = ch.codec == "G729" ? 20 : audio::kFrame;
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
    if (!ch.file.empty()) {
      for (size_t n = 0; n < payload; ++n) {
        pkt[12 + n] = ch.file[ch.file_pos];
        ch.file_pos = (ch.file_pos + 1) % ch.file.size();
      }
    } else if (ch.codec != "G729") {
      // G.729 is not encoded here: without a file its frames stay zero.
      int16_t pcm[audio::kFrame];
      ch.tone.fill(pcm, audio::kFrame);
      bool ulaw = ch.codec == "PCMU";
      for (size_t n = 0; n < audio::kFrame; ++n)
        pkt[12 + n] = static_cast<char>(ulaw ? g711_linear_to_ulaw(pcm[n]) : g711_linear_to_alaw(pcm[n]));
    }
    wire::Writer p(false);
    p.i(1, ch.id).bin(2, pkt.data(), pkt.size()).end();
    if (!send_only(M_SUBMIT_RTP, p)) return;
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
