#include "Simulator/StreamTransport.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace velsim {

bool StreamTransport::more() {
  if (m_pos < m_len) return true;
  if (m_ended) return false;
  m_pos = 0;
  m_len = fill(m_buf, sizeof m_buf);
  if (m_len == 0) m_ended = true;
  return m_len > 0;
}

bool StreamTransport::peek(unsigned char& byte) {
  if (!more()) return false;
  byte = static_cast<unsigned char>(m_buf[m_pos]);
  return true;
}

bool StreamTransport::skip_to(unsigned char marker, size_t& skipped) {
  skipped = 0;
  while (more()) {
    const char* at = static_cast<const char*>(memchr(m_buf + m_pos, marker, m_len - m_pos));
    if (at) {
      size_t n = static_cast<size_t>(at - (m_buf + m_pos));
      skipped += n;
      m_pos += n;
      return true;
    }
    skipped += m_len - m_pos;
    m_pos = m_len;
  }
  return false;
}

Sid::TransportInterface::Status StreamTransport::bl_start_decoding(Sid::CommandInitiator*) {
  return m_ended && m_pos == m_len ? ERR_CONNECTION : OK;
}

Sid::TransportInterface::Status StreamTransport::bl_read_bytes(Sid::CommandInitiator*, unsigned num_bytes,
                                                                char* dest) {
  while (num_bytes) {
    if (!more()) return ERR_READ;
    size_t n = std::min<size_t>(num_bytes, m_len - m_pos);
    if (dest) {
      memcpy(dest, m_buf + m_pos, n);
      dest += n;
    }
    m_pos += n;
    num_bytes -= static_cast<unsigned>(n);
  }
  return OK;
}

Sid::TransportInterface::Status StreamTransport::end_decoding(Sid::CommandInitiator*) { return OK; }

// This transport is read-only: a write is a programming error reported as a failure.
Sid::TransportInterface::Status StreamTransport::bl_start_encoding(Sid::CommandInitiator*) { return ERR_WRITE; }

Sid::TransportInterface::Status StreamTransport::bl_write_bytes(Sid::CommandInitiator*, unsigned, const char*) {
  return ERR_WRITE;
}

Sid::TransportInterface::Status StreamTransport::end_encoding(Sid::CommandInitiator*, bool) { return ERR_WRITE; }

FdTransport::~FdTransport() {
  if (m_fd >= 0) close(m_fd);
}

Sid::TransportInterface::Status FdTransport::terminate() {
  if (m_fd >= 0) shutdown(m_fd, SHUT_RDWR);
  return OK;
}

size_t FdTransport::fill(char* dst, size_t max) {
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    int r = poll(&p, 1, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return 0;
    ssize_t n = read(m_fd, dst, max);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
}

Sid::TransportInterface::Status BytesTransport::terminate() {
  m_pos = m_bytes.size();
  return OK;
}

size_t BytesTransport::fill(char* dst, size_t max) {
  size_t n = std::min(max, m_bytes.size() - m_pos);
  memcpy(dst, m_bytes.data() + m_pos, n);
  m_pos += n;
  return n;
}

}  // namespace velsim
