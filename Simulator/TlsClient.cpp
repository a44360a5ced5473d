#include "Simulator/TlsClient.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace velsim {

std::string openssl_error() {
  char buf[256];
  unsigned long e = ERR_get_error();
  if (!e) return "no OpenSSL error";
  ERR_error_string_n(e, buf, sizeof buf);
  ERR_clear_error();
  return buf;
}

TlsClient::TlsClient() {}

TlsClient::~TlsClient() {
  if (m_ssl) SSL_free(m_ssl);
  if (m_ctx) SSL_CTX_free(m_ctx);
  if (m_fd >= 0) close(m_fd);
}

bool TlsClient::wait(short events, int timeout_ms) {
  if (m_closed) return false;
  pollfd p{m_fd, events, 0};
  int r;
  do r = poll(&p, 1, timeout_ms);
  while (r < 0 && errno == EINTR);
  return r >= 0 && !m_closed;
}

bool TlsClient::start(int fd, int timeout_ms, std::string& error) {
  m_fd = fd;
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    error = std::string("fcntl: ") + strerror(errno);
    return false;
  }
  m_ctx = SSL_CTX_new(TLS_client_method());
  if (!m_ctx) {
    error = "SSL_CTX_new: " + openssl_error();
    return false;
  }
  SSL_CTX_set_verify(m_ctx, SSL_VERIFY_NONE, nullptr);
  m_ssl = SSL_new(m_ctx);
  if (!m_ssl || SSL_set_fd(m_ssl, fd) != 1) {
    error = "SSL_new: " + openssl_error();
    return false;
  }
  SSL_set_connect_state(m_ssl);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int r = SSL_connect(m_ssl);
    if (r == 1) return true;
    int e = SSL_get_error(m_ssl, r);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if ((e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) || left <= 0) {
      error = left <= 0 ? "TLS handshake timed out" : "TLS handshake failed: " + openssl_error();
      return false;
    }
    if (!wait(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, static_cast<int>(left))) {
      error = "TLS handshake: connection closed";
      return false;
    }
  }
}

bool TlsClient::fill() {
  while (!m_closed) {
    int r, e;
    {
      std::lock_guard<std::mutex> lock(m_ssl_mutex);
      r = SSL_read(m_ssl, m_buf, sizeof m_buf);
      e = r > 0 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, r);
    }
    if (r > 0) {
      m_pos = 0;
      m_len = static_cast<size_t>(r);
      return true;
    }
    if (e == SSL_ERROR_WANT_READ) {
      if (!wait(POLLIN, 200)) return false;
    } else if (e == SSL_ERROR_WANT_WRITE) {
      if (!wait(POLLOUT, 200)) return false;
    } else {
      m_closed = true;
      return false;
    }
  }
  return false;
}

bool TlsClient::read(void* dst, size_t n) {
  unsigned char* out = static_cast<unsigned char*>(dst);
  while (n) {
    if (m_pos == m_len && !fill()) return false;
    size_t take = std::min(n, m_len - m_pos);
    if (out) {
      memcpy(out, m_buf + m_pos, take);
      out += take;
    }
    m_pos += take;
    n -= take;
  }
  return true;
}

size_t TlsClient::read_some(void* dst, size_t max) {
  if (max == 0) return 0;
  if (m_pos == m_len && !fill()) return 0;
  size_t take = std::min(max, m_len - m_pos);
  memcpy(dst, m_buf + m_pos, take);
  m_pos += take;
  return take;
}

bool TlsClient::write_all(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n && !m_closed) {
    int r, e;
    {
      std::lock_guard<std::mutex> lock(m_ssl_mutex);
      r = SSL_write(m_ssl, p, static_cast<int>(std::min<size_t>(n, 1 << 20)));
      e = r > 0 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, r);
    }
    if (r > 0) {
      p += r;
      n -= static_cast<size_t>(r);
    } else if (e == SSL_ERROR_WANT_WRITE) {
      if (!wait(POLLOUT, 200)) return false;
    } else if (e == SSL_ERROR_WANT_READ) {
      if (!wait(POLLIN, 200)) return false;
    } else {
      m_closed = true;
      return false;
    }
  }
  return n == 0;
}

void TlsClient::shutdown() {
  m_closed = true;
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
}

}  // namespace velsim
