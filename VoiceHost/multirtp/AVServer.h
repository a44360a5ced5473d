#ifndef VOICEHOST_MULTIRTP_AVSERVER_H
#define VOICEHOST_MULTIRTP_AVSERVER_H

#include <atomic>

#include "VoiceHost/multirtp/AVTransportWrapper.h"
#include "VoiceHost/sid/protocol/BinServer.h"

namespace Sid {

// The server end of one voice-interface connection: reads each call and
// dispatches it (ProcessCall), on the thread that calls ProcessCommands.
// Disconnect may be called from any thread; it makes a blocked Connect or
// ProcessCommands fail.
class AVServer {
public:
  explicit AVServer(const Field* fields);
  AVServer(const Field* fields, std::unique_ptr<AVTransport> transport);
  virtual ~AVServer() = default;
  AVServer(const AVServer&) = delete;
  AVServer& operator=(const AVServer&) = delete;

  // Waits in server mode for the peer; timeout_ms 0 waits without limit.
  bool Connect(const char* key, int timeout_ms);
  // Serves one call; 0 to go on, otherwise the status that ended the connection.
  int ProcessCommands();
  void Disconnect();

protected:
  // Decodes the parameters of `method`, calls the implementation and writes
  // the response for `rid`.
  virtual Protocol::Status ProcessCall(unsigned rid, unsigned method) = 0;

  AVTransportWrapper m_transport;
  Protocol::BinServer m_protocol;
  std::atomic<bool> m_DisconnectPending{false};
  char m_transport_key[512] = {};
  int m_TimeoutMs = 0;
};

}  // namespace Sid

#endif
