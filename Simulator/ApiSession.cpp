#include "Simulator/ApiSession.h"

#include <cctype>
#include <cstdlib>

#include "Simulator/ApiReader.h"
#include "Simulator/TlsTransport.h"

namespace velsim {

namespace {
constexpr size_t kMaxToken = 64 * 1024;
constexpr size_t kMaxQueued = 10000;
}  // namespace

ApiSession::~ApiSession() {
  {
    std::lock_guard<std::mutex> lock(m_qmutex);
    m_closing = true;
    m_cv.notify_one();
  }
  m_tls.shutdown();
  if (m_writer.joinable()) m_writer.join();
}

void ApiSession::send(std::string bytes, std::string log_line) {
  if (m_stalled) {
    m_log.write("STALL", "not sent: " + log_line);
    return;
  }
  std::lock_guard<std::mutex> lock(m_qmutex);
  if (m_closing) return;
  if (m_queue.size() >= kMaxQueued) {
    m_log.write("DROP", "send queue full, connection dropped: " + log_line);
    m_tls.shutdown();
    return;
  }
  m_queue.emplace_back(std::move(bytes), std::move(log_line));
  m_cv.notify_one();
}

void ApiSession::drop() {
  m_log.write("CONN", "dropping the client connection");
  m_tls.shutdown();
}

void ApiSession::write_loop() {
  std::unique_lock<std::mutex> lock(m_qmutex);
  for (;;) {
    m_cv.wait(lock, [this] { return m_closing || !m_queue.empty(); });
    if (m_queue.empty()) return;
    auto item = std::move(m_queue.front());
    m_queue.pop_front();
    lock.unlock();
    bool ok = m_tls.write_all(item.first.data(), item.first.size());
    m_log.write(ok ? "SEND" : "LOST", item.second);
    if (!ok) m_tls.shutdown();
    lock.lock();
  }
}

bool ApiSession::handshake() {
  char hex[9] = {};
  if (!m_tls.read(hex, 8)) {
    m_log.write("CONN", "handshake: connection ended before the token length");
    return false;
  }
  for (int n = 0; n < 8; ++n)
    if (!isxdigit(static_cast<unsigned char>(hex[n]))) {
      m_log.printf("CONN", "handshake: token length is not 8 hex digits, connection closed");
      return false;
    }
  unsigned long length = strtoul(hex, nullptr, 16);
  if (length > kMaxToken) {
    m_log.printf("CONN", "handshake: token length %lu too large, connection closed", length);
    return false;
  }
  std::string token(length, '\0');
  if (length && !m_tls.read(token.data(), length)) {
    m_log.write("CONN", "handshake: connection ended inside the token");
    return false;
  }
  m_log.printf("RECV", "handshake \"%s\" token of %lu bytes", hex, length);
  if (!m_tls.write_all("OK", 2)) return false;
  m_log.write("SEND", "handshake \"OK\"");
  return true;
}

void ApiSession::run(int fd) {
  std::string error;
  if (!m_tls.start(fd, 5000, error)) {
    m_log.write("CONN", "TLS: " + error);
    return;
  }
  m_log.write("CONN", "TLS established (simulator is the TLS client)");
  if (!handshake()) return;
  m_writer = std::thread([this] { write_loop(); });
  m_model.session_started(this);
  serve();
  m_model.session_ended();
  {
    std::lock_guard<std::mutex> lock(m_qmutex);
    m_closing = true;
    m_cv.notify_one();
  }
  m_writer.join();
  m_log.write("CONN", "client connection ended");
}

void ApiSession::serve() {
  TlsTransport transport(m_tls);
  ApiReader reader(transport, m_model, m_log, m_stalled);
  reader.run();
}

}  // namespace velsim
