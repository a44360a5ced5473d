#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceClient.h"

namespace Sid {

using namespace MultiRTP;

namespace {
constexpr unsigned kNoParams = ~0u;
}

SkypeMultiRTPInterfaceClient::SkypeMultiRTPInterfaceClient() : AVClient(Field::M_SkypeMultiRTPInterface_fields) {}

bool SkypeMultiRTPInterfaceClient::Call(unsigned method, const void* request, unsigned request_descriptor,
                                        void* response, unsigned response_descriptor) {
  m_last_status = 0;
  char header[8] = {'Z', 'R', 0x00};
  unsigned header_size = 3 + Protocol::BinCommon::encode_uint(header + 3, method);
  unsigned rid = 0;
  Protocol::Status st = request_descriptor == kNoParams
                            ? m_protocol.wr_call(nullptr, header, header_size, rid)
                            : m_protocol.wr_call(nullptr, header, header_size, rid, request, request_descriptor);
  if (st != Protocol::OK) {
    m_last_status = st;
    return false;
  }
  if (!response) return true;
  Protocol::Command cmd = Protocol::CMD_RESERVED;
  st = m_protocol.rd_message_start(nullptr, cmd);
  unsigned answered = 0;
  if (st == Protocol::OK && cmd != Protocol::CMD_XREPLY) st = Protocol::ERR_DECODE;
  if (st == Protocol::OK) st = m_protocol.rd_response_id(nullptr, answered);
  if (st == Protocol::OK && answered != rid) st = Protocol::ERR_DECODE;
  if (st == Protocol::OK) st = m_protocol.rd_parms(nullptr, response, response_descriptor);
  if (st != Protocol::OK) {
    m_protocol.resync_decode(nullptr);
    m_last_status = st;
    return false;
  }
  return true;
}

int SkypeMultiRTPInterfaceClient::GetVersion(String& version) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rsp = msgs.m_MsgGetVersionResponse;
  if (!Call(METHOD_GetVersion, nullptr, kNoParams, &rsp, D_GetVersionResponse)) return -1;
  version = rsp.version;
  return rsp.rv;
}

int SkypeMultiRTPInterfaceClient::GetLastError() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rsp = msgs.m_MsgGetLastErrorResponse;
  return Call(METHOD_GetLastError, nullptr, kNoParams, &rsp, D_GetLastErrorResponse) ? rsp.error : -1;
}

int SkypeMultiRTPInterfaceClient::Init() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rsp = msgs.m_MsgInitResponse;
  return Call(METHOD_Init, nullptr, kNoParams, &rsp, D_InitResponse) ? rsp.rv : -1;
}

int SkypeMultiRTPInterfaceClient::Uninit() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rsp = msgs.m_MsgUninitResponse;
  return Call(METHOD_Uninit, nullptr, kNoParams, &rsp, D_UninitResponse) ? rsp.rv : -1;
}

int SkypeMultiRTPInterfaceClient::CreateChannel(unsigned call_member_id, unsigned conversation_id, int& channel) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rq = msgs.m_MsgCreateChannelRequest;
  rq.call_member_id = call_member_id;
  rq.conversation_id = conversation_id;
  auto& rsp = msgs.m_MsgCreateChannelResponse;
  if (!Call(METHOD_CreateChannel, &rq, D_CreateChannelRequest, &rsp, D_CreateChannelResponse)) return -1;
  channel = rsp.channel;
  return rsp.rv;
}

int SkypeMultiRTPInterfaceClient::DeleteChannel(int channel_id) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  msgs.m_MsgDeleteChannelRequest.channel_id = channel_id;
  auto& rsp = msgs.m_MsgDeleteChannelResponse;
  return Call(METHOD_DeleteChannel, &msgs.m_MsgDeleteChannelRequest, D_DeleteChannelRequest, &rsp,
              D_DeleteChannelResponse)
             ? rsp.rv
             : -1;
}

int SkypeMultiRTPInterfaceClient::ChangeConversationId(int channel_id, unsigned conversation_id,
                                                       unsigned call_member_id) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rq = msgs.m_MsgChangeConversationIdRequest;
  rq.channel_id = channel_id;
  rq.conversation_id = conversation_id;
  rq.call_member_id = call_member_id;
  auto& rsp = msgs.m_MsgChangeConversationIdResponse;
  return Call(METHOD_ChangeConversationId, &rq, D_ChangeConversationIdRequest, &rsp, D_ChangeConversationIdResponse)
             ? rsp.rv
             : -1;
}

int SkypeMultiRTPInterfaceClient::GetCodec(unsigned id, Codec& codec) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  msgs.m_MsgGetCodecRequest.id = id;
  auto& rsp = msgs.m_MsgGetCodecResponse;
  if (!Call(METHOD_GetCodec, &msgs.m_MsgGetCodecRequest, D_GetCodecRequest, &rsp, D_GetCodecResponse)) return -1;
  if (rsp.rv) codec = rsp.codec;
  return static_cast<int>(rsp.rv);
}

int SkypeMultiRTPInterfaceClient::GetCodecCount(unsigned& count) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rsp = msgs.m_MsgGetCodecCountResponse;
  if (!Call(METHOD_GetCodecCount, nullptr, kNoParams, &rsp, D_GetCodecCountResponse)) return -1;
  count = rsp.count;
  return rsp.rv;
}

int SkypeMultiRTPInterfaceClient::SetSendCodec(int channel_id, const String& Name, int PacketSize, int BitRate,
                                               int PayloadType) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rq = msgs.m_MsgSetSendCodecRequest;
  rq.channel_id = channel_id;
  rq.Name = Name;
  rq.PacketSize = PacketSize;
  rq.BitRate = BitRate;
  rq.PayloadType = PayloadType;
  auto& rsp = msgs.m_MsgSetSendCodecResponse;
  return Call(METHOD_SetSendCodec, &rq, D_SetSendCodecRequest, &rsp, D_SetSendCodecResponse) ? rsp.rv : -1;
}

void SkypeMultiRTPInterfaceClient::InformSendPacketLoss(int channel_id, unsigned packetLossBeforeFEC,
                                                        unsigned packetLossAfterFEC, unsigned jitterBeforeFEC,
                                                        unsigned jitterAfterFEC) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rq = msgs.m_MsgInformSendPacketLossRequest;
  rq.channel_id = channel_id;
  rq.packetLossBeforeFEC = packetLossBeforeFEC;
  rq.packetLossAfterFEC = packetLossAfterFEC;
  rq.jitterBeforeFEC = jitterBeforeFEC;
  rq.jitterAfterFEC = jitterAfterFEC;
  Call(METHOD_InformSendPacketLoss, &rq, D_InformSendPacketLossRequest, nullptr, 0);
}

int SkypeMultiRTPInterfaceClient::ChannelCall(unsigned method, unsigned request_descriptor, int channel_id) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  MsgChannelRequest rq{channel_id};
  MsgRvResponse rsp;
  return Call(method, &rq, request_descriptor, &rsp, request_descriptor + 1) ? rsp.rv : -1;
}

int SkypeMultiRTPInterfaceClient::StartPlayback(int channel_id) {
  return ChannelCall(METHOD_StartPlayback, D_StartPlaybackRequest, channel_id);
}
int SkypeMultiRTPInterfaceClient::StopPlayback(int channel_id) {
  return ChannelCall(METHOD_StopPlayback, D_StopPlaybackRequest, channel_id);
}
int SkypeMultiRTPInterfaceClient::StartRecording(int channel_id) {
  return ChannelCall(METHOD_StartRecording, D_StartRecordingRequest, channel_id);
}
int SkypeMultiRTPInterfaceClient::StopRecording(int channel_id) {
  return ChannelCall(METHOD_StopRecording, D_StopRecordingRequest, channel_id);
}

void SkypeMultiRTPInterfaceClient::SubmitRTPPacket(int channel_id, const Binary& data) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  // The packet travels from the caller's buffer; the record is not used.
  char header[8] = {'Z', 'R', 0x00};
  unsigned header_size = 3 + Protocol::BinCommon::encode_uint(header + 3, METHOD_SubmitRTPPacket);
  unsigned rid = 0;
  m_last_status = 0;
  Protocol::Status st = m_protocol.wr_call_lst(nullptr, header, header_size, rid, D_SubmitRTPPacketRequest,
                                               static_cast<const void*>(&channel_id), static_cast<const void*>(&data));
  if (st != Protocol::OK) m_last_status = st;
}

int SkypeMultiRTPInterfaceClient::SendDTMF(int channel_id, int eventnr, int rtp_type) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rq = msgs.m_MsgSendDTMFRequest;
  rq.channel_id = channel_id;
  rq.eventnr = eventnr;
  rq.rtp_type = rtp_type;
  auto& rsp = msgs.m_MsgSendDTMFResponse;
  return Call(METHOD_SendDTMF, &rq, D_SendDTMFRequest, &rsp, D_SendDTMFResponse) ? rsp.rv : -1;
}

int SkypeMultiRTPInterfaceClient::SetOutputAmplification(int channel_id, int scale) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rq = msgs.m_MsgSetOutputAmplificationRequest;
  rq.channel_id = channel_id;
  rq.scale = scale;
  auto& rsp = msgs.m_MsgSetOutputAmplificationResponse;
  return Call(METHOD_SetOutputAmplification, &rq, D_SetOutputAmplificationRequest, &rsp,
              D_SetOutputAmplificationResponse)
             ? rsp.rv
             : -1;
}

int SkypeMultiRTPInterfaceClient::CustomCommand(const String& command, String& result_str) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto& rq = msgs.m_MsgCustomCommandRequest;
  rq.command = command;
  auto& rsp = msgs.m_MsgCustomCommandResponse;
  if (!Call(METHOD_CustomCommand, &rq, D_CustomCommandRequest, &rsp, D_CustomCommandResponse)) return -1;
  result_str = rsp.result_str;
  return rsp.rv;
}

}  // namespace Sid
