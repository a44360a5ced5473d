#ifndef VOICEHOST_MULTIRTP_AVTRANSPORTWRAPPER_H
#define VOICEHOST_MULTIRTP_AVTRANSPORTWRAPPER_H

#include <atomic>
#include <memory>

#include "VoiceHost/sid/protocol/TransportInterface.h"
#include "VoiceHost/transport/AVTransport.h"

namespace Sid {

// The voice interface's buffered transport as the binary protocol's
// TransportInterface. terminate() may come from any thread.
class AVTransportWrapper : public TransportInterface {
public:
  AVTransportWrapper();
  // Over a transport of the caller's choice (an in-memory one in the fuzz target).
  explicit AVTransportWrapper(std::unique_ptr<AVTransport> transport);
  ~AVTransportWrapper() override;
  AVTransportWrapper(const AVTransportWrapper&) = delete;
  AVTransportWrapper& operator=(const AVTransportWrapper&) = delete;

  // timeout_ms 0 waits without limit.
  bool Connect(const char* key, bool server_mode, int timeout_ms);
  bool IsConnected() const { return m_Connected; }

  Status bl_start_decoding(CommandInitiator* thread) override;
  Status bl_read_bytes(CommandInitiator* thread, unsigned num_bytes, char* dest) override;
  Status end_decoding(CommandInitiator* thread) override;
  Status bl_start_encoding(CommandInitiator* thread) override;
  Status bl_write_bytes(CommandInitiator* thread, unsigned num_bytes, const char* src) override;
  Status end_encoding(CommandInitiator* thread, bool immediate) override;
  Status terminate() override;

private:
  bool Check();

  std::unique_ptr<AVTransport> m_Transport;
  std::atomic<bool> m_Connected{false};
};

}  // namespace Sid

#endif
