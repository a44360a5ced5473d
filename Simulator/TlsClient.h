#ifndef SIMULATOR_TLSCLIENT_H
#define SIMULATOR_TLSCLIENT_H

#include <openssl/ssl.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

namespace velsim {

// The runtime's end of an accepted client connection: the runtime is the
// TLS client, the gateway the TLS server presenting the application token's
// certificate, which the simulator does not verify.
//
// One thread reads while others write; every OpenSSL call is made under
// one lock, and the socket is non-blocking so that neither side holds the
// lock while it waits.
class TlsClient {
public:
  TlsClient();
  ~TlsClient();
  TlsClient(const TlsClient&) = delete;
  TlsClient& operator=(const TlsClient&) = delete;

  // Takes ownership of `fd` and runs the TLS handshake.
  bool start(int fd, int timeout_ms, std::string& error);
  // Exactly n bytes (buffered); false when the connection ended.
  bool read(void* dst, size_t n);
  // What is there, at least one byte and at most max (buffered); 0 when the
  // connection ended.
  size_t read_some(void* dst, size_t max);
  bool write_all(const void* data, size_t n);
  // Ends the connection from any thread: blocked reads and writes fail.
  void shutdown();
  bool closed() const { return m_closed; }

private:
  bool fill();
  bool wait(short events, int timeout_ms);

  std::mutex m_ssl_mutex;
  SSL_CTX* m_ctx = nullptr;
  SSL* m_ssl = nullptr;
  std::atomic<int> m_fd{-1};
  std::atomic<bool> m_closed{false};
  unsigned char m_buf[4096];
  size_t m_pos = 0, m_len = 0;
};

std::string openssl_error();

}  // namespace velsim

#endif
