// The descriptor tables of the multi-RTP voice interface. No field has a
// default that would let the encoder omit it: every field is always written.

#include <cstddef>
#include <vector>

#include "VoiceHost/multirtp/MultiRTPMessages.h"
#include "VoiceHost/sid/protocol/FieldHelpers.h"

namespace Sid {

namespace {

using namespace MultiRTP;
using FieldHelpers::never_default;
using FieldHelpers::set_default;
using FieldHelpers::set_record_default;
using PacketSizes = std::vector<unsigned>;

void sizes_clear(void* list) { static_cast<PacketSizes*>(list)->clear(); }
void sizes_append(void* list, unsigned, void*& element) {
  auto& v = *static_cast<PacketSizes*>(list);
  v.push_back(0);
  element = &v.back();
}
const void* sizes_iterate(const void* list, unsigned index) {
  const auto& v = *static_cast<const PacketSizes*>(list);
  return index < v.size() ? &v[index] : nullptr;
}
void sizes_reserve(void* list, unsigned count) {
  // The wire's element count is not trusted for allocation.
  auto& v = *static_cast<PacketSizes*>(list);
  if (count <= 64) v.reserve(count);
}

constexpr Field I(uint16_t tag, uint16_t offset) { return Field::field(tag, Field::KIND_INT, offset, never_default<int>, set_default<int>); }
constexpr Field U(uint16_t tag, uint16_t offset) { return Field::field(tag, Field::KIND_UINT, offset, never_default<unsigned>, set_default<unsigned>); }
constexpr Field S(uint16_t tag, uint16_t offset) { return Field::field(tag, Field::KIND_STRING, offset, never_default<SEString>, set_default<SEString>); }
constexpr Field B(uint16_t tag, uint16_t offset) { return Field::field(tag, Field::KIND_BINARY, offset, never_default<SEBinary>, set_default<SEBinary>); }
constexpr Field FirstI(uint16_t tag, uint16_t end) { return Field::first(tag, Field::KIND_INT, end, never_default<int>, set_default<int>); }
constexpr Field FirstU(uint16_t tag, uint16_t end) { return Field::first(tag, Field::KIND_UINT, end, never_default<unsigned>, set_default<unsigned>); }
constexpr Field FirstS(uint16_t tag, uint16_t end) { return Field::first(tag, Field::KIND_STRING, end, never_default<SEString>, set_default<SEString>); }

#define OFF(rec, field) static_cast<uint16_t>(offsetof(rec, field))

}  // namespace

const Field Field::M_SkypeMultiRTPInterface_fields[] = {
    // 0: Codec
    FirstS(10, D_GetVersionResponse),
    I(11, OFF(Codec, PayloadType)),
    I(12, OFF(Codec, Freq)),
    I(13, OFF(Codec, Channels)),
    Field::field(14, Field::KIND_UINT, OFF(Codec, SupportedPacketSizes), never_default<PacketSizes>, sizes_clear, true),
    Field::list_helper(sizes_append, sizes_iterate, sizes_reserve),
    I(15, OFF(Codec, DefaultPacketSize)),
    I(16, OFF(Codec, MinBitrate)),
    I(17, OFF(Codec, MaxBitrate)),
    U(18, OFF(Codec, MaxDesiredPacketLoss)),
    // 10: GetVersion
    FirstS(1, D_GetLastErrorResponse),
    I(2, OFF(MsgGetVersionResponse, rv)),
    // 12: GetLastError, 13: Init, 14: Uninit
    FirstI(1, D_InitResponse),
    FirstI(1, D_UninitResponse),
    FirstI(1, D_CreateChannelRequest),
    // 15: CreateChannel
    FirstU(1, D_CreateChannelResponse),
    U(2, OFF(MsgCreateChannelRequest, conversation_id)),
    FirstI(1, D_DeleteChannelRequest),
    I(2, OFF(MsgCreateChannelResponse, rv)),
    // 19: DeleteChannel
    FirstI(1, D_DeleteChannelResponse),
    FirstI(1, D_ChangeConversationIdRequest),
    // 21: ChangeConversationId
    FirstI(1, D_ChangeConversationIdResponse),
    U(2, OFF(MsgChangeConversationIdRequest, conversation_id)),
    U(3, OFF(MsgChangeConversationIdRequest, call_member_id)),
    FirstI(1, D_GetCodecRequest),
    // 25: GetCodec
    FirstU(1, D_GetCodecResponse),
    Field::first(1, Field::KIND_STRUCT, D_GetCodecCountResponse, never_default<Codec>, set_record_default<Codec>, false,
                 D_Codec),
    U(20, OFF(MsgGetCodecResponse, rv)),
    // 28: GetCodecCount
    FirstU(1, D_SetSendCodecRequest),
    I(2, OFF(MsgGetCodecCountResponse, rv)),
    // 30: SetSendCodec
    FirstI(1, D_SetSendCodecResponse),
    S(2, OFF(MsgSetSendCodecRequest, Name)),
    I(3, OFF(MsgSetSendCodecRequest, PacketSize)),
    I(4, OFF(MsgSetSendCodecRequest, BitRate)),
    I(5, OFF(MsgSetSendCodecRequest, PayloadType)),
    FirstI(1, D_InformSendPacketLossRequest),
    // 36: InformSendPacketLoss
    FirstI(1, D_StartPlaybackRequest),
    U(2, OFF(MsgInformSendPacketLossRequest, packetLossBeforeFEC)),
    U(3, OFF(MsgInformSendPacketLossRequest, packetLossAfterFEC)),
    U(4, OFF(MsgInformSendPacketLossRequest, jitterBeforeFEC)),
    U(5, OFF(MsgInformSendPacketLossRequest, jitterAfterFEC)),
    // 41: StartPlayback, 43: StopPlayback, 45: StartRecording, 47: StopRecording
    FirstI(1, D_StartPlaybackResponse),
    FirstI(1, D_StopPlaybackRequest),
    FirstI(1, D_StopPlaybackResponse),
    FirstI(1, D_StartRecordingRequest),
    FirstI(1, D_StartRecordingResponse),
    FirstI(1, D_StopRecordingRequest),
    FirstI(1, D_StopRecordingResponse),
    FirstI(1, D_SubmitRTPPacketRequest),
    // 49: SubmitRTPPacket
    FirstI(1, D_SendDTMFRequest),
    B(2, OFF(MsgSubmitRTPPacketRequest, data)),
    // 51: SendDTMF
    FirstI(1, D_SendDTMFResponse),
    I(2, OFF(MsgSendDTMFRequest, eventnr)),
    I(3, OFF(MsgSendDTMFRequest, rtp_type)),
    FirstI(1, D_SetOutputAmplificationRequest),
    // 55: SetOutputAmplification
    FirstI(1, D_SetOutputAmplificationResponse),
    I(2, OFF(MsgSetOutputAmplificationRequest, scale)),
    FirstI(1, D_CustomCommandRequest),
    // 58: CustomCommand
    FirstS(1, D_CustomCommandResponse),
    FirstS(1, D_End),
    I(2, OFF(MsgCustomCommandResponse, rv)),
};

static_assert(sizeof(Field::M_SkypeMultiRTPInterface_fields) / sizeof(Field) == D_End);

const Field Field::M_SkypeMultiRTPCallbackInterface_fields[] = {
    FirstI(1, D_CallbackEnd),
    B(2, OFF(MsgSendRTPPacketRequest, data)),
};

static_assert(sizeof(Field::M_SkypeMultiRTPCallbackInterface_fields) / sizeof(Field) == D_CallbackEnd);

#undef OFF

}  // namespace Sid
