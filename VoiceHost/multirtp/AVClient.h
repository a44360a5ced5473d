#ifndef VOICEHOST_MULTIRTP_AVCLIENT_H
#define VOICEHOST_MULTIRTP_AVCLIENT_H

#include "VoiceHost/multirtp/AVTransportWrapper.h"
#include "VoiceHost/sid/protocol/BinClient.h"

namespace Sid {

// The client end of one voice-interface connection.
class AVClient {
public:
  explicit AVClient(const Field* fields);
  virtual ~AVClient() = default;
  AVClient(const AVClient&) = delete;
  AVClient& operator=(const AVClient&) = delete;

  // Connects to a peer listening under key, retrying for timeout_ms (0: without limit).
  bool Connect(const char* key, int timeout_ms);
  // May be called from any thread.
  void Disconnect();
  bool IsConnected() const { return m_transport.IsConnected(); }

protected:
  AVTransportWrapper m_transport;
  Protocol::BinClient m_protocol;
};

}  // namespace Sid

#endif
