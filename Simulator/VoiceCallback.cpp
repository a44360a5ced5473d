#include "Simulator/VoiceCallback.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "Simulator/Wire.h"
#include "VoiceHost/transport/UnixSocket.h"

namespace velsim {

namespace {

// Reads from the front of a buffer without copying it; running out of
// bytes means the message is not complete yet.
class BufferSource : public wire::Source {
public:
  BufferSource(const std::string& b) : m_b(b) {}
  bool read(void* dst, size_t n) override {
    if (n > m_b.size() - m_pos) return false;
    if (dst) memcpy(dst, m_b.data() + m_pos, n);
    m_pos += n;
    return true;
  }
  size_t pos() const { return m_pos; }

private:
  const std::string& m_b;
  size_t m_pos = 0;
};

constexpr size_t kMaxPending = 1 << 20;

}  // namespace

VoiceCallback::~VoiceCallback() { stop(); }

bool VoiceCallback::start(const std::string& account, std::string& error) {
  m_key = "/" + account + "/multirtp_to_skypekit_key";
  sockaddr_un addr;
  if (!Sid::MakeSocketAddress(m_key.c_str(), addr)) {
    error = "callback socket name too long: " + m_key;
    return false;
  }
  m_listen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(m_listen, 4) != 0) {
    error = "cannot listen at " + m_key + ": " + strerror(errno);
    return false;
  }
  if (pipe2(m_wake, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    return false;
  }
  m_thread = std::thread([this] { run(); });
  return true;
}

void VoiceCallback::stop() {
  m_stop = true;
  if (m_wake[1] >= 0) {
    char c = 0;
    ssize_t r = write(m_wake[1], &c, 1);
    (void)r;
  }
  if (m_thread.joinable()) m_thread.join();
  for (int* fd : {&m_listen, &m_wake[0], &m_wake[1]})
    if (*fd >= 0) {
      close(*fd);
      *fd = -1;
    }
}

bool VoiceCallback::consume(std::string& buf) {
  for (;;) {
    if (buf.empty()) return true;
    if (buf[0] != 'Z') {
      // Out of step: drop up to the next message start.
      size_t z = buf.find('Z', 1);
      ++m_bad;
      m_log.printf("VOICE", "callback: %zu undecodable bytes skipped", z == std::string::npos ? buf.size() : z);
      buf.erase(0, z == std::string::npos ? buf.size() : z);
      continue;
    }
    BufferSource src(buf);
    wire::Reader rd(src);
    uint8_t z, cmd;
    uint32_t module, method, rid;
    wire::Message params;
    wire::Status s = rd.byte(z);
    if (s == wire::Status::Ok) s = rd.byte(cmd);
    if (s == wire::Status::Ok && cmd != 'R') s = wire::Status::Decode;
    if (s == wire::Status::Ok) s = rd.u32(module);
    if (s == wire::Status::Ok) s = rd.u32(method);
    if (s == wire::Status::Ok) s = rd.u32(rid);
    if (s == wire::Status::Ok) s = rd.message(params);
    if (s == wire::Status::Io) return buf.size() < kMaxPending;  // incomplete
    if (s != wire::Status::Ok) {
      ++m_bad;
      m_log.printf("VOICE", "callback: undecodable message (%s), skipping to the next", wire::status_name(s));
      buf.erase(0, 1);
      continue;
    }
    buf.erase(0, src.pos());
    ++m_calls;
    const wire::Field* data = params.get(2);
    if (method != 1 || !data || data->kind != wire::K_BINARY) {
      m_log.printf("VOICE", "callback: unexpected call method %u rid %u (%s)", method, rid, params.describe().c_str());
      continue;
    }
    m_stats.received(params.i(1), data->str);
  }
}

void VoiceCallback::run() {
  int conn = -1;
  std::string buf;
  char chunk[65536];
  while (!m_stop) {
    pollfd p[3] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}, {conn, POLLIN, 0}};
    int r = poll(p, conn >= 0 ? 3 : 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p[1].revents) break;
    if (p[0].revents & POLLIN) {
      int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        if (conn >= 0) {
          m_log.write("VOICE", "callback: a new connection replaces the old one");
          close(conn);
        }
        conn = fd;
        buf.clear();
        m_log.printf("VOICE", "callback: voice host connected at %s", m_key.c_str());
      }
    }
    if (conn >= 0 && (p[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t n = read(conn, chunk, sizeof chunk);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        m_log.printf("VOICE", "callback: voice host disconnected after %llu calls",
                     static_cast<unsigned long long>(m_calls));
        close(conn);
        conn = -1;
        continue;
      }
      buf.append(chunk, static_cast<size_t>(n));
      if (!consume(buf)) {
        m_log.write("VOICE", "callback: too much undecodable input, connection dropped");
        close(conn);
        conn = -1;
      }
    }
  }
  if (conn >= 0) close(conn);
}

}  // namespace velsim
