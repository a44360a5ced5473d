#ifndef CLIENTRUNTIME_IPC_CLIENTSESSION_H
#define CLIENTRUNTIME_IPC_CLIENTSESSION_H

#include <memory>

#include "ClientRuntime/ipc/Connection.h"
#include "ClientRuntime/ipc/ConnectionStateListener.h"
#include "ClientRuntime/ipc/Session.h"
#include "ClientRuntime/ipc/TLSTcpClientConnection.h"
#include "VoiceHost/sid/protocol/BinClient.h"

namespace Sid {

// A session with one runtime: its connection, its protocol object and its
// pool of processors reading the incoming commands. The most derived class
// must call stop() in its destructor, before its own parts go away.
class ClientSession : public Session, public CommandInterface, public ConnectionStateListener {
public:
  using TLSTcpClientConnection = Sid::TLSTcpClientConnection;

  ClientSession(int max_processors, const Field* descriptors);
  ~ClientSession() override;

  virtual bool start() = 0;
  virtual std::unique_ptr<Protocol::BinClient> create_protocol(Connection* connection);
  void Disconnected() override {}
  void Connected() override {}
  void Connecting() override {}
  void OnError(CONNECTION_ERROR) override {}

  // Connects over TLS (the app token is the certificate and key), does the
  // handshake with an empty token and starts the first reader. 0 on success,
  // 3 when the connection or the handshake failed.
  int init(const char* apptoken, const char* address, int port, const char* log_name, int retries,
           int retry_delay_seconds);
  int init(std::unique_ptr<Connection> connection, const char* token);
  // Closes the connection, releases every waiting and idle processor and
  // returns when all processor threads have ended.
  void stop() override;

  const Field* get_descriptors() const { return m_fields; }
  Protocol::BinClient* get_protocol() const { return m_protocol.get(); }
  Connection* get_connection() const { return m_connection.get(); }

protected:
  virtual std::unique_ptr<Connection> create_tcp_connection(const char* apptoken, const char* address, int port,
                                                            const char* log_name, int retries,
                                                            int retry_delay_seconds);

  std::unique_ptr<Connection> m_connection;
  std::unique_ptr<Protocol::BinClient> m_protocol;
  const Field* m_fields;
};

} // namespace Sid

#endif
