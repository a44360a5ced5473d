#include "VoiceHost/transport/UnixSocket.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "VoiceHost/transport/AVTrace.h"

namespace Sid {

namespace {

bool set_nonblocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

unsigned long long now_us() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  return static_cast<unsigned long long>(tv.tv_sec) * 1000000ULL + static_cast<unsigned long long>(tv.tv_usec);
}

void sleep_ms(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace

bool MakeSocketAddress(const char* key, sockaddr_un& addr) {
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  size_t len = key ? strnlen(key, kMaxSocketKey + 1) : 0;
  if (!key || len > kMaxSocketKey) {
    AV_TRACE("Cannot make socket address %s: %s\n", key ? key : "(null)", strerror(ENAMETOOLONG));
    return false;
  }
  memcpy(addr.sun_path + 1, key, len);
  return true;
}

std::unique_ptr<Socket> GetSocket() { return std::make_unique<UnixSocket>(); }

UnixSocket::~UnixSocket() {
  if (m_IsConnected) Disconnect();
}

const char* UnixSocket::Key() { return m_Key ? m_Key : ""; }

bool UnixSocket::Connect(const char* key, bool server_mode, int timeout_ms) {
  av_print("Connect: %s, server: %d, timeout: %d\n", key ? key : "", server_mode ? 1 : 0, timeout_ms);
  {
    std::lock_guard<std::mutex> lock(m_StateMutex);
    if (m_IsConnected) {
      AV_TRACE("Connect: %s - already connected\n", Key());
      return false;
    }
    if (m_Cancel) {
      // The Disconnect meant for this attempt came first.
      m_Cancel = false;
      av_print("Connect: %s %s connect %s\n", key ? key : "", server_mode ? "server" : "client", "failed");
      return false;
    }
    m_Key = key;
    m_ServerMode = server_mode;
  }
  bool ok = false;
  if (server_mode) {
    ok = ServerConnect(timeout_ms);
    av_print("Connect: %s server connect %s\n", Key(), ok ? "suceeded" : "failed");
    return ok;
  }
  int used_ms = 0;
  for (;;) {
    ok = ClientConnect();
    if (ok) break;
    {
      std::lock_guard<std::mutex> lock(m_StateMutex);
      if (m_Cancel) {
        m_Cancel = false;
        break;
      }
    }
    sleep_ms(100);
    used_ms += 100;
    if (timeout_ms >= 0 && used_ms >= timeout_ms) break;
  }
  av_print("Connect: %s client connect %s\n", Key(), ok ? "suceeded" : "failed");
  return ok;
}

bool UnixSocket::Publish(int fd) {
  std::lock_guard<std::mutex> lock(m_StateMutex);
  if (m_Cancel) {
    m_Cancel = false;
    return false;
  }
  m_Socket = fd;
  m_IsConnected = true;
  return true;
}

bool UnixSocket::ServerConnect(int timeout_ms) {
  sockaddr_un addr{};
  if (!MakeSocketAddress(Key(), addr)) return false;
  int ls = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (ls < 0 || !set_nonblocking(ls)) {
    AV_TRACE("%s: failed to create socket: %s\n", Key(), strerror(errno));
    if (ls >= 0) close(ls);
    return false;
  }
  // The abstract name has no file, so nothing is removed from the file system.
  {
    std::lock_guard<std::mutex> lock(m_StateMutex);
    if (m_Cancel) {
      m_Cancel = false;
      close(ls);
      av_print("ServerConnect: %s\n", "FAILED");
      return false;
    }
    m_ListenSocket = ls;
  }
  bool ok = false;
  int fd = -1;
  if (bind(ls, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    AV_TRACE("%s: socket binding error: %s\n", Key(), strerror(errno));
  } else {
    av_print("ServerConnect: listen\n");
    if (listen(ls, 1) != 0) {
      AV_TRACE("%s: socket listen error: %s\n", Key(), strerror(errno));
    } else {
      av_print("ServerConnect: Poll\n");
      if (!Poll(ls, POLLIN, timeout_ms)) {
        AV_TRACE("%s: poll m_ListenSocket failed: %s\n", Key(), strerror(errno));
      } else {
        av_print("ServerConnect: accept\n");
        do {
          fd = accept4(ls, nullptr, nullptr, SOCK_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
          AV_TRACE("%s: accept error: %d, %s\n", Key(), errno, strerror(errno));
        } else if (!set_nonblocking(fd)) {
          AV_TRACE("%s: accept error: %d, %s\n", Key(), errno, strerror(errno));
          close(fd);
          fd = -1;
        } else {
          ok = true;
        }
      }
    }
  }
  // Exactly one peer is served per connect: the listening socket goes in every case.
  {
    std::lock_guard<std::mutex> lock(m_StateMutex);
    m_ListenSocket = -1;
  }
  if (shutdown(ls, SHUT_RDWR) != 0 && errno != ENOTCONN && errno != EINVAL) {
    AV_TRACE("%s: shutdown m_ListenSocket: %s\n", Key(), strerror(errno));
  }
  if (close(ls) != 0) AV_TRACE("%s: close m_ListenSocket: %s\n", Key(), strerror(errno));
  if (ok && !Publish(fd)) {
    close(fd);
    ok = false;
  }
  av_print("ServerConnect: %s\n", ok ? "OK" : "FAILED");
  return ok;
}

bool UnixSocket::ClientConnect() {
  sockaddr_un addr{};
  if (!MakeSocketAddress(Key(), addr)) return false;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    AV_TRACE("%s: failed to create socket: %s\n", Key(), strerror(errno));
    return false;
  }
  av_print("ClientConnect: connect\n");
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 || !set_nonblocking(fd)) {
    close(fd);
    return false;
  }
  av_print("ClientConnect: connect OK\n");
  if (!Publish(fd)) {
    close(fd);
    return false;
  }
  return true;
}

void UnixSocket::Disconnect() {
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(m_StateMutex);
    bool was_connected = m_IsConnected.exchange(false);
    av_print("UnixSocket: closing socket %s\n", Key());
    int ls = m_ListenSocket.load();
    if (!was_connected) {
      // A connect may be under way or about to start on another thread.
      m_Cancel = true;
      // Wakes a server connect waiting for its peer; that thread closes it.
      if (ls >= 0) av_print("UnixSocket: shutdown listen socket: %d\n", shutdown(ls, SHUT_RDWR));
    }
    fd = m_Socket.exchange(-1);
    // Wakes every thread blocked on the data socket; none can start a new
    // operation on it from here on.
    if (fd >= 0) av_print("UnixSocket: shutdown socket: %d\n", shutdown(fd, SHUT_RDWR));
  }
  if (fd >= 0) {
    std::unique_lock<std::shared_mutex> io(m_IoLock);
    av_print("UnixSocket: close socket: %d\n", close(fd));
  }
}

bool UnixSocket::IsConnected() { return m_IsConnected; }

ssize_t UnixSocket::Write(const void* buf, size_t count) {
  std::shared_lock<std::shared_mutex> io(m_IoLock);
  int fd = m_Socket;
  if (fd < 0) {
    errno = ENOTCONN;
    return -1;
  }
  ssize_t rc;
  // MSG_NOSIGNAL: a runtime that went away must not take the gateway with it.
  do {
    rc = send(fd, buf, count, MSG_NOSIGNAL);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

ssize_t UnixSocket::Read(void* buf, size_t count) {
  if (count == 0) return 0;
  std::shared_lock<std::shared_mutex> io(m_IoLock);
  int fd = m_Socket;
  if (fd < 0) {
    errno = ENOTCONN;
    return -1;
  }
  ssize_t rc;
  do {
    rc = read(fd, buf, count);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

bool UnixSocket::PollRead() {
  std::shared_lock<std::shared_mutex> io(m_IoLock);
  return Poll(m_Socket, POLLIN, -1);
}

bool UnixSocket::PollWrite() {
  std::shared_lock<std::shared_mutex> io(m_IoLock);
  return Poll(m_Socket, POLLOUT, -1);
}

bool UnixSocket::Poll(int socket, short events, int timeout_ms) {
  if (socket < 0) {
    AV_TRACE("poll error: m_Key: %s, revents: 0x%x, errno: %d, time: %llu\n", Key(), POLLNVAL, EBADF, now_us());
    return false;
  }
  for (;;) {
    pollfd p{socket, events, 0};
    int rc = poll(&p, 1, timeout_ms);
    if (rc < 0) {
      if (errno == EINTR) continue;
      AV_TRACE("Poll write failed on %s: errno: %d\n", Key(), errno);
      return false;
    }
    if (rc == 0) {
      AV_TRACE("poll timeout, m_Key: %s\n", Key());
      return false;
    }
    // Bytes the peer sent before it hung up are still read; the read that
    // finds the end of the stream then fails.
    bool readable_rest = (events & POLLIN) && (p.revents & POLLIN) && !(p.revents & (POLLERR | POLLNVAL));
    if (!readable_rest && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      AV_TRACE("poll error: m_Key: %s, revents: 0x%x, errno: %d, time: %llu\n", Key(),
               static_cast<unsigned>(p.revents), errno, now_us());
      return false;
    }
    if (p.revents & events) return true;
  }
}

}  // namespace Sid
