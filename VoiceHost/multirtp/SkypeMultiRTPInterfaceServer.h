#ifndef VOICEHOST_MULTIRTP_SKYPEMULTIRTPINTERFACESERVER_H
#define VOICEHOST_MULTIRTP_SKYPEMULTIRTPINTERFACESERVER_H

#include <atomic>

#include "VoiceHost/multirtp/AVServer.h"
#include "VoiceHost/multirtp/MultiRTPMessages.h"

namespace Sid {

// Serves the runtime's calls of SkypeMultiRTPInterface on the host's implementation.
class SkypeMultiRTPInterfaceServer : public AVServer {
public:
  SkypeMultiRTPInterfaceServer();
  explicit SkypeMultiRTPInterfaceServer(std::unique_ptr<AVTransport> transport);

  // The implementation is not owned; null makes every call an error response.
  void set_if(SkypeMultiRTPInterface* impl) { m_pIf = impl; }
  SkypeMultiRTPInterface* get_if() const { return m_pIf; }

protected:
  Protocol::Status ProcessCall(unsigned rid, unsigned method) override;

private:
  Protocol::Status Respond(unsigned rid, const void* record, unsigned descriptor);

  std::atomic<SkypeMultiRTPInterface*> m_pIf{nullptr};
  MultiRTP::multirtpifMsgs msgs;
};

}  // namespace Sid

#endif
