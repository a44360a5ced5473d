#ifndef VOICEHOST_MULTIRTP_SKYPEMULTIRTPCALLBACKINTERFACECLIENT_H
#define VOICEHOST_MULTIRTP_SKYPEMULTIRTPCALLBACKINTERFACECLIENT_H

#include <mutex>

#include "VoiceHost/multirtp/AVClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterface.h"

namespace Sid {

// The host's end of the callback connection: hands RTP packets to the
// runtime. SendRTPPacket may be called from several threads at once.
class SkypeMultiRTPCallbackInterfaceClient : public SkypeMultiRTPCallbackInterface, public AVClient {
public:
  SkypeMultiRTPCallbackInterfaceClient();

  // One call, sent at once; no response is read. False (and the packet
  // lost) when the connection is not up or the write failed.
  bool SendRTPPacket(int channel_id, const Binary& data) override;

private:
  std::mutex m_Mutex;
};

}  // namespace Sid

#endif
