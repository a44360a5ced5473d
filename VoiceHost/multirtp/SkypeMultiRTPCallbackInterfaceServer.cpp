#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceServer.h"

namespace Sid {

SkypeMultiRTPCallbackInterfaceServer::SkypeMultiRTPCallbackInterfaceServer()
    : AVServer(Field::M_SkypeMultiRTPCallbackInterface_fields) {}

Protocol::Status SkypeMultiRTPCallbackInterfaceServer::ProcessCall(unsigned, unsigned method) {
  if (method != MultiRTP::METHOD_SendRTPPacket) {
    return m_protocol.sk_parms(nullptr) == Protocol::OK ? Protocol::ERR_CALL : Protocol::ERR_DECODE;
  }
  auto& rq = m_MsgSendRTPPacketRequest;
  if (m_protocol.rd_parms(nullptr, &rq, MultiRTP::D_SendRTPPacketRequest) != Protocol::OK) return Protocol::ERR_DECODE;
  if (SkypeMultiRTPCallbackInterface* impl = get_if()) impl->SendRTPPacket(rq.channel_id, rq.data);
  return Protocol::OK;
}

}  // namespace Sid
