#ifndef TESTS_UNIT_CLIENTRUNTIME_TESTPEER_H
#define TESTS_UNIT_CLIENTRUNTIME_TESTPEER_H

// The far end of a client session in tests: a loopback TCP listener that
// accepts the session's connection and, optionally, runs the TLS client side
// (the session is the TLS server). Scripted reads and writes with time-outs.
#include <string>

struct ssl_st;
struct ssl_ctx_st;

namespace testpeer {

// A throwaway self-signed certificate and its key, as one PEM text.
const std::string& self_signed_pem();

class Peer {
public:
  explicit Peer(bool tls);
  ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int port() const { return m_port; }
  // Accepts the pending connection (and does the TLS client handshake).
  bool accept();
  bool write(const std::string& bytes);
  // Exactly n bytes within the time-out, or what arrived until then.
  std::string read(size_t n, int timeout_ms = 5000);
  // Whatever arrives within timeout_ms.
  std::string read_available(int timeout_ms);
  void close();
  ssl_st* ssl() const { return m_ssl; }

private:
  bool wait_readable(int timeout_ms);
  bool m_tls;
  int m_listen = -1;
  int m_fd = -1;
  int m_port = 0;
  ssl_ctx_st* m_ctx = nullptr;
  ssl_st* m_ssl = nullptr;
};

// A port on the loopback address where nothing listens.
int closed_port();

} // namespace testpeer

#endif
