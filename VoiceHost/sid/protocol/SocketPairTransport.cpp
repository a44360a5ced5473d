#include "VoiceHost/sid/protocol/SocketPairTransport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Sid {

SocketPairTransport::SocketPairTransport(int fd) : m_fd(fd) {}

SocketPairTransport::~SocketPairTransport()
{
  terminate();
  if (m_fd >= 0) close(m_fd);
}

bool SocketPairTransport::make_pair(std::unique_ptr<SocketPairTransport>& a, std::unique_ptr<SocketPairTransport>& b)
{
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  a = std::make_unique<SocketPairTransport>(fds[0]);
  b = std::make_unique<SocketPairTransport>(fds[1]);
  return true;
}

// Waits for input and reads what is there into the read-ahead buffer.
bool SocketPairTransport::fill()
{
  if (m_closed.load()) return false;
  int fd = m_fd;
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, m_timeout_ms);
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return false;
  ssize_t n;
  do {
    n = read(fd, m_in, sizeof m_in);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  m_in_pos = 0;
  m_in_len = static_cast<unsigned>(n);
  return true;
}

TransportInterface::Status SocketPairTransport::bl_start_decoding(CommandInitiator*)
{
  return m_closed.load() ? ERR_CONNECTION : OK;
}

TransportInterface::Status SocketPairTransport::bl_read_bytes(CommandInitiator*, unsigned num_bytes, char* dest)
{
  while (num_bytes) {
    if (m_in_pos == m_in_len && !fill()) return ERR_READ;
    unsigned n = m_in_len - m_in_pos;
    if (n > num_bytes) n = num_bytes;
    if (dest) {
      memcpy(dest, m_in + m_in_pos, n);
      dest += n;
    }
    m_in_pos += n;
    num_bytes -= n;
  }
  return OK;
}

TransportInterface::Status SocketPairTransport::end_decoding(CommandInitiator*) { return OK; }

TransportInterface::Status SocketPairTransport::bl_start_encoding(CommandInitiator*)
{
  m_out.clear();
  return m_closed.load() ? ERR_CONNECTION : OK;
}

TransportInterface::Status SocketPairTransport::bl_write_bytes(CommandInitiator*, unsigned num_bytes, const char* src)
{
  if (m_closed.load()) return ERR_WRITE;
  m_out.insert(m_out.end(), src, src + num_bytes);
  return OK;
}

TransportInterface::Status SocketPairTransport::end_encoding(CommandInitiator*, bool)
{
  if (m_closed.load()) return ERR_WRITE;
  int fd = m_fd;
  size_t done = 0;
  while (done < m_out.size()) {
    ssize_t n = send(fd, m_out.data() + done, m_out.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ERR_WRITE;
    done += static_cast<size_t>(n);
  }
  m_out.clear();
  return OK;
}

TransportInterface::Status SocketPairTransport::terminate()
{
  if (!m_closed.exchange(true)) shutdown(m_fd, SHUT_RDWR);
  return OK;
}

}  // namespace Sid
