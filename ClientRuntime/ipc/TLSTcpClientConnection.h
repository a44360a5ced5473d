#ifndef CLIENTRUNTIME_IPC_TLSTCPCLIENTCONNECTION_H
#define CLIENTRUNTIME_IPC_TLSTCPCLIENTCONNECTION_H

#include "ClientRuntime/ipc/TLSEncryption.h"
#include "ClientRuntime/ipc/TcpClientConnection.h"

namespace Sid {

// The session's connection: TCP wrapped in TLS, the gateway taking the TLS
// server role with the certificate and key of the PEM text given.
class TLSTcpClientConnection : public TcpClientConnection {
public:
  TLSTcpClientConnection(const char* pem, const char* address, int port, const char* log_name,
                         int retries, int retry_delay_seconds, ConnectionStateListener* listener);

  int recv(unsigned min, char* buf, unsigned capacity) override;
  int send(unsigned n, const char* buf, bool immediate) override;

private:
  TLSEncryptionSocketServer m_tls;
};

} // namespace Sid

#endif
