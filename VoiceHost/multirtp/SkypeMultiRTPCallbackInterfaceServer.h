#ifndef VOICEHOST_MULTIRTP_SKYPEMULTIRTPCALLBACKINTERFACESERVER_H
#define VOICEHOST_MULTIRTP_SKYPEMULTIRTPCALLBACKINTERFACESERVER_H

#include <atomic>

#include "VoiceHost/multirtp/AVServer.h"
#include "VoiceHost/multirtp/MultiRTPMessages.h"

namespace Sid {

// The runtime's end of the callback connection: receives the host's
// SendRTPPacket calls (the runtime simulator uses it). No response is sent.
class SkypeMultiRTPCallbackInterfaceServer : public AVServer {
public:
  SkypeMultiRTPCallbackInterfaceServer();

  void set_if(SkypeMultiRTPCallbackInterface* impl) { m_pIf = impl; }
  SkypeMultiRTPCallbackInterface* get_if() const { return m_pIf; }

protected:
  Protocol::Status ProcessCall(unsigned rid, unsigned method) override;

private:
  std::atomic<SkypeMultiRTPCallbackInterface*> m_pIf{nullptr};
  MultiRTP::MsgSendRTPPacketRequest m_MsgSendRTPPacketRequest;
};

}  // namespace Sid

#endif
