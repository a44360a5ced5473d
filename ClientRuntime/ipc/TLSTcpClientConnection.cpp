#include "ClientRuntime/ipc/TLSTcpClientConnection.h"

namespace Sid {

TLSTcpClientConnection::TLSTcpClientConnection(const char* pem, const char* address, int port,
                                               const char* log_name, int retries,
                                               int retry_delay_seconds,
                                               ConnectionStateListener* listener)
    : TcpClientConnection(address, port, log_name, retries, retry_delay_seconds, listener) {
  if (!is_connected()) return;
  if (!set_non_blocking()) {
    terminate();
    return;
  }
  m_tls.init(pem, get_fd(), listener);
}

int TLSTcpClientConnection::recv(unsigned min, char* buf, unsigned) {
  for (;;) {
    if (!is_connected()) return -1;
    int r = m_tls.read(min, buf);
    if (r != 0) return r;
    wait_input();
  }
}

int TLSTcpClientConnection::send(unsigned n, const char* buf, bool) {
  if (!is_connected()) return -1;
  return m_tls.write(n, buf);
}

} // namespace Sid
