#ifndef CLIENTRUNTIME_IPC_TCPCLIENTCONNECTION_H
#define CLIENTRUNTIME_IPC_TCPCLIENTCONNECTION_H

#include "ClientRuntime/ipc/Connection.h"

namespace Sid {

// A TCP connection to the runtime's client port, made in the constructor with
// up to 1 + retries attempts, retry_delay_seconds apart.
class TcpClientConnection : public Connection {
public:
  TcpClientConnection(const char* address, int port, const char* log_name, int retries,
                      int retry_delay_seconds, ConnectionStateListener* listener);
  ~TcpClientConnection() override;

  Status terminate() override;
  int recv(unsigned min, char* buf, unsigned capacity) override;
  int send(unsigned n, const char* buf, bool immediate) override;

  // Waits up to a second for input; 0 at once when not connected.
  int wait_input();
  bool set_non_blocking();

private:
  int m_closed_fd = -1;   // shut down, closed with the object
};

} // namespace Sid

#endif
