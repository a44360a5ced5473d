#include "VoiceHost/multirtp/AVClient.h"

#include "VoiceHost/multirtp/BoundedReaders.h"

namespace Sid {

AVClient::AVClient(const Field* fields) : m_protocol(&m_transport, fields) { MultiRTP::LimitValueSizes(m_protocol); }

bool AVClient::Connect(const char* key, int timeout_ms) { return m_transport.Connect(key, false, timeout_ms); }

void AVClient::Disconnect() {
  if (m_transport.IsConnected()) m_transport.terminate();
}

}  // namespace Sid
