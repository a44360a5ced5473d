#include "Simulator/ApiSession.h"

#include <cctype>
#include <cstdlib>

#include "Simulator/ApiNames.h"
#include "Simulator/Wire.h"

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
  wire::Reader rd(m_tls);
  bool have_z = false;
  for (;;) {
    uint8_t z = 'Z', cmd;
    if (!have_z && rd.byte(z) != wire::Status::Ok) return;
    have_z = false;
    if (z != 'Z') {
      m_log.printf("ERR", "byte 0x%02x where a message should start: resynchronising", z);
      if (!rd.resync()) return;
      have_z = true;
      continue;
    }
    if (rd.byte(cmd) != wire::Status::Ok) return;
    if (cmd == 'R') {
      uint32_t module, method, rid;
      wire::Status s = rd.u32(module);
      if (s == wire::Status::Ok) s = rd.u32(method);
      if (s == wire::Status::Ok) s = rd.u32(rid);
      if (s == wire::Status::Io) return;
      if (s != wire::Status::Ok) {
        m_log.write("ERR", "undecodable call header: resynchronising");
        if (!rd.resync()) return;
        have_z = true;
        continue;
      }
      wire::Message params;
      s = rd.message(params);
      if (s == wire::Status::Io) return;
      std::string what = std::string(api::module_name(module)) + "." + api::method_name(module, method) + "(" +
                         std::to_string(module) + "," + std::to_string(method) + ")";
      if (s != wire::Status::Ok) {
        m_log.printf("ERR", "call rid=%u %s: parameters undecodable (%s): resynchronising", rid, what.c_str(),
                     wire::status_name(s));
        if (!m_stalled) m_model.reject_call(rid);
        if (!rd.resync()) return;
        have_z = true;
        continue;
      }
      m_log.printf("RECV", "call rid=%u %s %s", rid, what.c_str(), params.describe().c_str());
      if (m_stalled) {
        m_log.printf("STALL", "call rid=%u not answered", rid);
        continue;
      }
      m_model.handle_call(module, method, rid, params);
    } else if (cmd == 'G') {
      std::vector<wire::Reader::PropRef> props;
      wire::Status s = rd.property_request(props);
      if (s == wire::Status::Io) return;
      if (s != wire::Status::Ok) {
        // Replies come in request order, so an unreadable request still
        // gets one: a single property without a value.
        m_log.write("ERR", "undecodable property request: resynchronising");
        if (!m_stalled) m_model.handle_get({{0, 0, 0}});
        if (!rd.resync()) return;
        have_z = true;
        continue;
      }
      std::string what;
      for (const auto& p : props)
        what += " " + std::to_string(p.module) + ".#" + std::to_string(p.oid) + "." + api::prop_name(p.module, p.prop);
      m_log.printf("RECV", "get%s", what.c_str());
      if (m_stalled) {
        m_log.write("STALL", "property request not answered");
        continue;
      }
      m_model.handle_get(props);
    } else {
      m_log.printf("ERR", "unknown command byte 0x%02x: resynchronising", cmd);
      if (!rd.resync()) return;
      have_z = true;
    }
  }
}

}  // namespace velsim
