#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"

#include "VoiceHost/multirtp/MultiRTPMessages.h"

namespace Sid {

namespace {
// Call, module 0, method 1.
const char kSendRTPPacketHeader[] = {'Z', 'R', 0x00, 0x01};
}  // namespace

SkypeMultiRTPCallbackInterfaceClient::SkypeMultiRTPCallbackInterfaceClient()
    : AVClient(Field::M_SkypeMultiRTPCallbackInterface_fields) {}

bool SkypeMultiRTPCallbackInterfaceClient::SendRTPPacket(int channel_id, const Binary& data) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  unsigned rid = 0;
  Protocol::Status st =
      m_protocol.wr_call_lst(nullptr, kSendRTPPacketHeader, sizeof kSendRTPPacketHeader, rid,
                             MultiRTP::D_SendRTPPacketRequest, static_cast<const void*>(&channel_id),
                             static_cast<const void*>(&data));
  return st == Protocol::OK;
}

}  // namespace Sid
