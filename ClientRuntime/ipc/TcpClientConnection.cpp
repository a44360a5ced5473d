#include "ClientRuntime/ipc/TcpClientConnection.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Sid {
namespace {

std::mutex& terminate_mutex() {
  static std::mutex m;
  return m;
}

void close_fd(int fd) {
  while (::close(fd) != 0 && (errno == EINTR || errno == EAGAIN)) {
  }
}

} // namespace

TcpClientConnection::TcpClientConnection(const char* address, int port, const char* log_name,
                                         int retries, int retry_delay_seconds,
                                         ConnectionStateListener* listener)
    : Connection(log_name) {
  set_connstate_listener(listener);
  int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) return;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = inet_addr(address ? address : "");
  sa.sin_port = htons(static_cast<uint16_t>(port));
  for (int attempt = 0;; ++attempt) {
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
      m_fd = fd;
      if (listener) listener->Connected();
      return;
    }
    if (attempt >= retries) break;
    timespec ts{retry_delay_seconds, 0};
    nanosleep(&ts, nullptr);
    if (listener) listener->Connecting();
  }
  close_fd(fd);
}

TcpClientConnection::~TcpClientConnection() {
  int fd = m_fd.exchange(-1);
  if (fd != -1) close_fd(fd);
  if (m_closed_fd != -1) close_fd(m_closed_fd);
}

// The descriptor is shut down and marked closed at once; the number itself is
// released with the object, so a thread still inside a read on it can never
// meet a reused descriptor belonging to something else.
TcpClientConnection::Status TcpClientConnection::terminate() {
  std::lock_guard<std::mutex> lock(terminate_mutex());
  int fd = m_fd.load();
  if (fd == -1) return OK;
  ::shutdown(fd, SHUT_RDWR);
  m_closed_fd = fd;
  m_fd = -1;
  if (m_listener) m_listener->Disconnected();
  return OK;
}

int TcpClientConnection::wait_input() {
  int fd = m_fd.load();
  if (fd == -1) return 0;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(fd, &set);
  timeval tv{1, 0};
  return ::select(fd + 1, &set, nullptr, nullptr, &tv);
}

bool TcpClientConnection::set_non_blocking() {
  int fd = m_fd.load();
  int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1) return false;
  return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != -1;
}

int TcpClientConnection::recv(unsigned min, char* buf, unsigned capacity) {
  for (;;) {
    int fd = m_fd.load();
    if (fd == -1) return -1;
    ssize_t r = ::recv(fd, buf, std::max(min, capacity), 0);
    if (r > 0) return static_cast<int>(r);
    if (r == 0) return -1;   // the peer closed
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_input();
      return 0;
    }
    return -1;
  }
}

int TcpClientConnection::send(unsigned n, const char* buf, bool) {
  int fd = m_fd.load();
  if (fd == -1) return -1;
  ssize_t r = ::send(fd, buf, n, MSG_NOSIGNAL);
  if (r >= 0) return static_cast<int>(r);
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  return -1;
}

} // namespace Sid
