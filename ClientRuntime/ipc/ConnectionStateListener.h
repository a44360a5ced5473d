#ifndef CLIENTRUNTIME_IPC_CONNECTIONSTATELISTENER_H
#define CLIENTRUNTIME_IPC_CONNECTIONSTATELISTENER_H

namespace Sid {

// Told about the life of a connection to the runtime: retries, success, loss
// and set-up errors. The client session is its own listener.
class ConnectionStateListener {
public:
  enum CONNECTION_ERROR { NONE = 0, SSL_CERTIFICATE_LOAD_ERR = 1 };

  virtual void Connecting() = 0;
  virtual void Connected() = 0;
  virtual void Disconnected() = 0;
  virtual void OnError(CONNECTION_ERROR error) = 0;
  virtual ~ConnectionStateListener() = default;
};

} // namespace Sid

#endif
