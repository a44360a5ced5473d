#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"

namespace Sid {

using namespace MultiRTP;

SkypeMultiRTPInterfaceServer::SkypeMultiRTPInterfaceServer() : AVServer(Field::M_SkypeMultiRTPInterface_fields) {}

SkypeMultiRTPInterfaceServer::SkypeMultiRTPInterfaceServer(std::unique_ptr<AVTransport> transport)
    : AVServer(Field::M_SkypeMultiRTPInterface_fields, std::move(transport)) {}

Protocol::Status SkypeMultiRTPInterfaceServer::Respond(unsigned rid, const void* record, unsigned descriptor) {
  return m_protocol.wr_response(nullptr, rid, record, descriptor) == Protocol::OK ? Protocol::OK
                                                                                  : Protocol::ERR_ENCODE;
}

Protocol::Status SkypeMultiRTPInterfaceServer::ProcessCall(unsigned rid, unsigned method) {
  SkypeMultiRTPInterface* impl = get_if();
  auto read = [&](void* record, unsigned descriptor) {
    return m_protocol.rd_parms(nullptr, record, descriptor) == Protocol::OK ? Protocol::OK : Protocol::ERR_DECODE;
  };
  auto skip = [&]() { return m_protocol.sk_parms(nullptr) == Protocol::OK ? Protocol::OK : Protocol::ERR_DECODE; };
  Protocol::Status st;

  switch (method) {
    case METHOD_GetVersion: {
      if ((st = skip()) || !impl) return st ? st : Protocol::ERR_CALL;
      auto& rsp = msgs.m_MsgGetVersionResponse;
      rsp.version = SEString();
      rsp.rv = impl->GetVersion(rsp.version);
      return Respond(rid, &rsp, D_GetVersionResponse);
    }
    case METHOD_GetLastError: {
      if ((st = skip()) || !impl) return st ? st : Protocol::ERR_CALL;
      auto& rsp = msgs.m_MsgGetLastErrorResponse;
      rsp.error = impl->GetLastError();
      return Respond(rid, &rsp, D_GetLastErrorResponse);
    }
    case METHOD_Init: {
      if ((st = skip()) || !impl) return st ? st : Protocol::ERR_CALL;
      msgs.m_MsgInitResponse.rv = impl->Init();
      return Respond(rid, &msgs.m_MsgInitResponse, D_InitResponse);
    }
    case METHOD_Uninit: {
      if ((st = skip()) || !impl) return st ? st : Protocol::ERR_CALL;
      msgs.m_MsgUninitResponse.rv = impl->Uninit();
      return Respond(rid, &msgs.m_MsgUninitResponse, D_UninitResponse);
    }
    case METHOD_CreateChannel: {
      auto& rq = msgs.m_MsgCreateChannelRequest;
      if ((st = read(&rq, D_CreateChannelRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      auto& rsp = msgs.m_MsgCreateChannelResponse;
      rsp.channel = 0;
      rsp.rv = impl->CreateChannel(rq.call_member_id, rq.conversation_id, rsp.channel);
      return Respond(rid, &rsp, D_CreateChannelResponse);
    }
    case METHOD_DeleteChannel: {
      auto& rq = msgs.m_MsgDeleteChannelRequest;
      if ((st = read(&rq, D_DeleteChannelRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      msgs.m_MsgDeleteChannelResponse.rv = impl->DeleteChannel(rq.channel_id);
      return Respond(rid, &msgs.m_MsgDeleteChannelResponse, D_DeleteChannelResponse);
    }
    case METHOD_ChangeConversationId: {
      auto& rq = msgs.m_MsgChangeConversationIdRequest;
      if ((st = read(&rq, D_ChangeConversationIdRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      msgs.m_MsgChangeConversationIdResponse.rv =
          impl->ChangeConversationId(rq.channel_id, rq.conversation_id, rq.call_member_id);
      return Respond(rid, &msgs.m_MsgChangeConversationIdResponse, D_ChangeConversationIdResponse);
    }
    case METHOD_GetCodec: {
      auto& rq = msgs.m_MsgGetCodecRequest;
      if ((st = read(&rq, D_GetCodecRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      auto& rsp = msgs.m_MsgGetCodecResponse;
      // An id without a codec answers an empty record, not the previous call's.
      rsp.codec = Codec();
      rsp.rv = static_cast<unsigned>(impl->GetCodec(rq.id, rsp.codec));
      return Respond(rid, &rsp, D_GetCodecResponse);
    }
    case METHOD_GetCodecCount: {
      if ((st = skip()) || !impl) return st ? st : Protocol::ERR_CALL;
      auto& rsp = msgs.m_MsgGetCodecCountResponse;
      rsp.count = 0;
      rsp.rv = impl->GetCodecCount(rsp.count);
      return Respond(rid, &rsp, D_GetCodecCountResponse);
    }
    case METHOD_SetSendCodec: {
      auto& rq = msgs.m_MsgSetSendCodecRequest;
      if ((st = read(&rq, D_SetSendCodecRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      msgs.m_MsgSetSendCodecResponse.rv =
          impl->SetSendCodec(rq.channel_id, rq.Name, rq.PacketSize, rq.BitRate, rq.PayloadType);
      return Respond(rid, &msgs.m_MsgSetSendCodecResponse, D_SetSendCodecResponse);
    }
    case METHOD_InformSendPacketLoss: {
      auto& rq = msgs.m_MsgInformSendPacketLossRequest;
      if ((st = read(&rq, D_InformSendPacketLossRequest))) return st;
      if (impl)
        impl->InformSendPacketLoss(rq.channel_id, rq.packetLossBeforeFEC, rq.packetLossAfterFEC, rq.jitterBeforeFEC,
                                   rq.jitterAfterFEC);
      return Protocol::OK;  // no response
    }
    case METHOD_StartPlayback:
    case METHOD_StopPlayback:
    case METHOD_StartRecording:
    case METHOD_StopRecording: {
      MsgChannelRequest* rq;
      MsgRvResponse* rsp;
      unsigned d_rq;
      switch (method) {
        case METHOD_StartPlayback:
          rq = &msgs.m_MsgStartPlaybackRequest, rsp = &msgs.m_MsgStartPlaybackResponse, d_rq = D_StartPlaybackRequest;
          break;
        case METHOD_StopPlayback:
          rq = &msgs.m_MsgStopPlaybackRequest, rsp = &msgs.m_MsgStopPlaybackResponse, d_rq = D_StopPlaybackRequest;
          break;
        case METHOD_StartRecording:
          rq = &msgs.m_MsgStartRecordingRequest, rsp = &msgs.m_MsgStartRecordingResponse,
          d_rq = D_StartRecordingRequest;
          break;
        default:
          rq = &msgs.m_MsgStopRecordingRequest, rsp = &msgs.m_MsgStopRecordingResponse, d_rq = D_StopRecordingRequest;
          break;
      }
      if ((st = read(rq, d_rq)) || !impl) return st ? st : Protocol::ERR_CALL;
      switch (method) {
        case METHOD_StartPlayback: rsp->rv = impl->StartPlayback(rq->channel_id); break;
        case METHOD_StopPlayback: rsp->rv = impl->StopPlayback(rq->channel_id); break;
        case METHOD_StartRecording: rsp->rv = impl->StartRecording(rq->channel_id); break;
        default: rsp->rv = impl->StopRecording(rq->channel_id); break;
      }
      // Each response descriptor directly follows its request's.
      return Respond(rid, rsp, d_rq + 1);
    }
    case METHOD_SubmitRTPPacket: {
      auto& rq = msgs.m_MsgSubmitRTPPacketRequest;
      if ((st = read(&rq, D_SubmitRTPPacketRequest))) return st;
      if (impl) impl->SubmitRTPPacket(rq.channel_id, rq.data);
      return Protocol::OK;  // no response
    }
    case METHOD_SendDTMF: {
      auto& rq = msgs.m_MsgSendDTMFRequest;
      if ((st = read(&rq, D_SendDTMFRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      msgs.m_MsgSendDTMFResponse.rv = impl->SendDTMF(rq.channel_id, rq.eventnr, rq.rtp_type);
      return Respond(rid, &msgs.m_MsgSendDTMFResponse, D_SendDTMFResponse);
    }
    case METHOD_SetOutputAmplification: {
      auto& rq = msgs.m_MsgSetOutputAmplificationRequest;
      if ((st = read(&rq, D_SetOutputAmplificationRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      msgs.m_MsgSetOutputAmplificationResponse.rv = impl->SetOutputAmplification(rq.channel_id, rq.scale);
      return Respond(rid, &msgs.m_MsgSetOutputAmplificationResponse, D_SetOutputAmplificationResponse);
    }
    case METHOD_CustomCommand: {
      auto& rq = msgs.m_MsgCustomCommandRequest;
      if ((st = read(&rq, D_CustomCommandRequest)) || !impl) return st ? st : Protocol::ERR_CALL;
      auto& rsp = msgs.m_MsgCustomCommandResponse;
      rsp.result_str = SEString();
      rsp.rv = impl->CustomCommand(rq.command, rsp.result_str);
      return Respond(rid, &rsp, D_CustomCommandResponse);
    }
    default:
      if ((st = skip())) return st;
      return Protocol::ERR_CALL;
  }
}

}  // namespace Sid
