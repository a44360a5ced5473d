#ifndef VOICEHOST_MULTIRTP_MULTIRTPMESSAGES_H
#define VOICEHOST_MULTIRTP_MULTIRTPMESSAGES_H

// The message records of the multi-RTP voice interface and the indices of
// their descriptors in Sid::Field::M_SkypeMultiRTPInterface_fields and
// Sid::Field::M_SkypeMultiRTPCallbackInterface_fields. Every field of every
// message is always written.

#include "VoiceHost/multirtp/SkypeMultiRTPInterface.h"
#include "VoiceHost/sid/protocol/Field.h"

namespace Sid {
namespace MultiRTP {

// Method ids of the server connection.
enum Method : unsigned {
  METHOD_GetVersion = 1,
  METHOD_GetLastError = 2,
  METHOD_Init = 3,
  METHOD_Uninit = 4,
  METHOD_CreateChannel = 10,
  METHOD_DeleteChannel = 11,
  METHOD_ChangeConversationId = 12,
  METHOD_GetCodec = 20,
  METHOD_GetCodecCount = 21,
  METHOD_SetSendCodec = 22,
  METHOD_InformSendPacketLoss = 23,
  METHOD_StartPlayback = 30,
  METHOD_StopPlayback = 31,
  METHOD_StartRecording = 32,
  METHOD_StopRecording = 33,
  METHOD_SubmitRTPPacket = 40,
  METHOD_SendDTMF = 41,
  METHOD_SetOutputAmplification = 50,
  METHOD_CustomCommand = 51,
};
// Method id of the callback connection (module 0).
constexpr unsigned METHOD_SendRTPPacket = 1;

// Descriptor indices in M_SkypeMultiRTPInterface_fields: the Codec record,
// then the request and response messages in method order.
enum Descriptor : unsigned {
  D_Codec = 0,
  D_GetVersionResponse = 10,
  D_GetLastErrorResponse = 12,
  D_InitResponse = 13,
  D_UninitResponse = 14,
  D_CreateChannelRequest = 15,
  D_CreateChannelResponse = 17,
  D_DeleteChannelRequest = 19,
  D_DeleteChannelResponse = 20,
  D_ChangeConversationIdRequest = 21,
  D_ChangeConversationIdResponse = 24,
  D_GetCodecRequest = 25,
  D_GetCodecResponse = 26,
  D_GetCodecCountResponse = 28,
  D_SetSendCodecRequest = 30,
  D_SetSendCodecResponse = 35,
  D_InformSendPacketLossRequest = 36,
  D_StartPlaybackRequest = 41,
  D_StartPlaybackResponse = 42,
  D_StopPlaybackRequest = 43,
  D_StopPlaybackResponse = 44,
  D_StartRecordingRequest = 45,
  D_StartRecordingResponse = 46,
  D_StopRecordingRequest = 47,
  D_StopRecordingResponse = 48,
  D_SubmitRTPPacketRequest = 49,
  D_SendDTMFRequest = 51,
  D_SendDTMFResponse = 54,
  D_SetOutputAmplificationRequest = 55,
  D_SetOutputAmplificationResponse = 57,
  D_CustomCommandRequest = 58,
  D_CustomCommandResponse = 59,
  D_End = 61,
};
// In M_SkypeMultiRTPCallbackInterface_fields.
enum CallbackDescriptor : unsigned { D_SendRTPPacketRequest = 0, D_CallbackEnd = 2 };

using String = SkypeMultiRTPInterface::String;
using Binary = SkypeMultiRTPInterface::Binary;
using Codec = SkypeMultiRTPInterface::Codec;

// One record per message; the first field lies at the start of its record.
struct MsgGetVersionResponse { String version; int rv = 0; };
struct MsgGetLastErrorResponse { int error = 0; };
struct MsgInitResponse { int rv = 0; };
struct MsgUninitResponse { int rv = 0; };
struct MsgCreateChannelRequest { unsigned call_member_id = 0; unsigned conversation_id = 0; };
struct MsgCreateChannelResponse { int channel = 0; int rv = 0; };
struct MsgDeleteChannelRequest { int channel_id = 0; };
struct MsgDeleteChannelResponse { int rv = 0; };
struct MsgChangeConversationIdRequest { int channel_id = 0; unsigned conversation_id = 0; unsigned call_member_id = 0; };
struct MsgChangeConversationIdResponse { int rv = 0; };
struct MsgGetCodecRequest { unsigned id = 0; };
struct MsgGetCodecResponse { Codec codec; unsigned rv = 0; };
struct MsgGetCodecCountResponse { unsigned count = 0; int rv = 0; };
struct MsgSetSendCodecRequest { int channel_id = 0; String Name; int PacketSize = 0; int BitRate = 0; int PayloadType = 0; };
struct MsgSetSendCodecResponse { int rv = 0; };
struct MsgInformSendPacketLossRequest {
  int channel_id = 0;
  unsigned packetLossBeforeFEC = 0;
  unsigned packetLossAfterFEC = 0;
  unsigned jitterBeforeFEC = 0;
  unsigned jitterAfterFEC = 0;
};
struct MsgChannelRequest { int channel_id = 0; };  // Start/StopPlayback, Start/StopRecording
struct MsgRvResponse { int rv = 0; };
struct MsgSubmitRTPPacketRequest { int channel_id = 0; Binary data; };
struct MsgSendDTMFRequest { int channel_id = 0; int eventnr = 0; int rtp_type = 0; };
struct MsgSendDTMFResponse { int rv = 0; };
struct MsgSetOutputAmplificationRequest { int channel_id = 0; int scale = 0; };
struct MsgSetOutputAmplificationResponse { int rv = 0; };
struct MsgCustomCommandRequest { String command; };
struct MsgCustomCommandResponse { String result_str; int rv = 0; };
// Callback connection.
struct MsgSendRTPPacketRequest { int channel_id = 0; Binary data; };

// The message records a server (or client) keeps and reuses for every call.
struct multirtpifMsgs {
  MsgGetVersionResponse m_MsgGetVersionResponse;
  MsgGetLastErrorResponse m_MsgGetLastErrorResponse;
  MsgInitResponse m_MsgInitResponse;
  MsgUninitResponse m_MsgUninitResponse;
  MsgCreateChannelRequest m_MsgCreateChannelRequest;
  MsgCreateChannelResponse m_MsgCreateChannelResponse;
  MsgDeleteChannelRequest m_MsgDeleteChannelRequest;
  MsgDeleteChannelResponse m_MsgDeleteChannelResponse;
  MsgChangeConversationIdRequest m_MsgChangeConversationIdRequest;
  MsgChangeConversationIdResponse m_MsgChangeConversationIdResponse;
  MsgGetCodecRequest m_MsgGetCodecRequest;
  MsgGetCodecResponse m_MsgGetCodecResponse;
  MsgGetCodecCountResponse m_MsgGetCodecCountResponse;
  MsgSetSendCodecRequest m_MsgSetSendCodecRequest;
  MsgSetSendCodecResponse m_MsgSetSendCodecResponse;
  MsgInformSendPacketLossRequest m_MsgInformSendPacketLossRequest;
  MsgChannelRequest m_MsgStartPlaybackRequest;
  MsgRvResponse m_MsgStartPlaybackResponse;
  MsgChannelRequest m_MsgStopPlaybackRequest;
  MsgRvResponse m_MsgStopPlaybackResponse;
  MsgChannelRequest m_MsgStartRecordingRequest;
  MsgRvResponse m_MsgStartRecordingResponse;
  MsgChannelRequest m_MsgStopRecordingRequest;
  MsgRvResponse m_MsgStopRecordingResponse;
  MsgSubmitRTPPacketRequest m_MsgSubmitRTPPacketRequest;
  MsgSendDTMFRequest m_MsgSendDTMFRequest;
  MsgSendDTMFResponse m_MsgSendDTMFResponse;
  MsgSetOutputAmplificationRequest m_MsgSetOutputAmplificationRequest;
  MsgSetOutputAmplificationResponse m_MsgSetOutputAmplificationResponse;
  MsgCustomCommandRequest m_MsgCustomCommandRequest;
  MsgCustomCommandResponse m_MsgCustomCommandResponse;
};

// The most bytes one string or binary value may make a voice-interface
// protocol object allocate; a longer length prefix is a decoding error. An
// RTP packet is at most a UDP payload; the interface's strings are codec
// names, commands and version texts.
constexpr unsigned kMaxBinaryBytes = 65535;
constexpr unsigned kMaxStringBytes = 4096;



}  // namespace MultiRTP
}  // namespace Sid

#endif
