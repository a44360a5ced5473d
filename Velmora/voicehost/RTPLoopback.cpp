#include "Velmora/voicehost/RTPLoopback.h"

#include <mutex>

#include "Velmora/Velmora.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"
#include "Velmora/voicehost/Codecs.h"

namespace {
constexpr int kVoiceChannels = 32;
constexpr size_t kRtpHeader = 12;
}  // namespace

RTPLoopback::RTPLoopback(Sid::SkypeMultiRTPCallbackInterface* callback, S_Skype* account)
    : m_callback(callback), ps_skype(account) {}

bool RTPLoopback::OwnsRecord(const S_Skype* record_account) const {
  return record_account && ps_skype && record_account->name == ps_skype->name;
}

int RTPLoopback::GetVersion(String& version) {
  static const SEString text("RTPLoopback 0.1");
  version = text;
  return 1;
}

int RTPLoopback::GetLastError() { return 0; }

int RTPLoopback::Init() { return 1; }

int RTPLoopback::Uninit() { return 1; }

int RTPLoopback::CreateChannel(unsigned call_member_id, unsigned conversation_id, int& channel) {
  GW_TRACE("CreateChannel:call member id=%d conversation id =%d %s\n\n", static_cast<int>(call_member_id),
           static_cast<int>(conversation_id), ps_skype->name.c_str());
  int n = 0;
  for (int i = 0; i < kVoiceChannels; ++i) {
    if (!(m_activechannels & (1u << i))) {
      m_activechannels |= 1u << i;
      n = i;
      break;
    }
  }
  channel = n;

  bool bound = false;
  {
    std::lock_guard<SkypeMutex> lock(m_usersmutex);
    for (auto& entry : users) {
      S_User& u = entry.second;
      GW_TRACE("id=%d conversation id =%d sipuser=%s calltype=%x status=%x  call id=%s \n\n", u.userid,
               static_cast<int>(u.conversationid), u.sipuserid.c_str(), u.calltype, u.status,
               u.call_member_id.c_str());
      if (u.skype && u.status >= 2 && u.audioplayer.channel == -1 && OwnsRecord(u.skype)) {
        u.call_member_id = std::to_string(call_member_id);
        u.audioplayer.channel = n;
        u.pos = 0;
        GW_TRACE("set  channel=%d  to user id=%d %s\n\n", n, u.userid, ps_skype->name.c_str());
        bound = true;
        break;
      }
    }
  }
  // Neither account lock is taken while the channel table is held.
  VoiceHostAccountState& state = *ps_skype->vhstate;
  if (bound) {
    std::lock_guard<SkypeMutex> lock(state.skype_mutex);
    state.skype_in_use = false;
  } else {
    std::lock_guard<SkypeMutex> lock(state.par_chan_mutex);
    // An id already waiting keeps its first channel.
    state.participantchannel.emplace(static_cast<int>(call_member_id), n);
    GW_TRACE("insert call id=%d channel=%d \n\n", static_cast<int>(call_member_id), n);
  }
  GW_TRACE("CreateChannel success %x\n\n", m_activechannels);
  return 1;
}

int RTPLoopback::DeleteChannel(int channel_id) {
  if (channel_id >= 0 && channel_id < kVoiceChannels) {
    m_activechannels &= ~(1u << channel_id);
    m_channel_created = 0;
    GW_TRACE("DeleteChannel: channel %d deleted\n\n", channel_id);
  }
  return 1;
}

int RTPLoopback::ChangeConversationId(int, unsigned conversation_id, unsigned call_member_id) {
  GW_TRACE("ChangeConversationId: new conversation_id %d, call_member_id %d\n", static_cast<int>(conversation_id),
           static_cast<int>(call_member_id));
  return 1;
}

int RTPLoopback::GetCodec(unsigned id, Codec& codec) {
  GW_TRACE("GetCodec %x\n\n", id);
  if (id != 0) return 0;
  const MyCodec* row = codec_for_payload_type(gwconfig.rtpplaytype);
  if (!row) {
    // No row for an unknown SIP codec: offering another would garble the audio.
    GW_TRACE("GetCodec: no codec for rtpplaytype %d\n\n", gwconfig.rtpplaytype);
    return 0;
  }
  codec = *row;
  GW_TRACE("GetCodec %s pt=%d \n\n", codec.Name.data(), codec.PayloadType);
  return 1;
}

int RTPLoopback::GetCodecCount(unsigned& count) {
  count = 1;
  GW_TRACE("GetCodecCount\n\n");
  return 1;
}

int RTPLoopback::SetSendCodec(int, const String& Name, int PacketSize, int BitRate, int PayloadType) {
  GW_TRACE("SetSendCodec: name %s(%d), PacketSize %d, Bitrate %d\n", Name.data(), PayloadType, PacketSize, BitRate);
  return 1;
}

void RTPLoopback::InformSendPacketLoss(int, unsigned, unsigned, unsigned, unsigned) {}

int RTPLoopback::StartPlayback(int channel_id) {
  if (argdebug) {
    std::lock_guard<SkypeMutex> lock(m_usersmutex);
    for (auto& entry : users) {
      const S_User& u = entry.second;
      if (u.calltype == CALL_SIP_TO_SKYPE && u.status == CHAN_PLACED && u.audioplayer.channel == channel_id &&
          OwnsRecord(u.skype)) {
        GW_TRACE("%s StartPlayback %x created\n\n", u.skypepeer.c_str(), channel_id);
        break;
      }
    }
  }
  GW_TRACE("StartPlayback: channel_id %d\n\n", channel_id);
  return 1;
}

int RTPLoopback::StopPlayback(int channel_id) {
  m_activechannels &= ~(1u << (channel_id & 31));
  if (argdebug) {
    size_t records;
    {
      std::lock_guard<SkypeMutex> lock(m_usersmutex);
      records = users.size();
    }
    GW_TRACE("StopPlayback: channel_id %d size=%d \n\n", channel_id, static_cast<int>(records));
  }
  return 1;
}

int RTPLoopback::StartRecording(int channel_id) {
  GW_TRACE("StartRecording: channel_id %d\n", channel_id);
  std::lock_guard<SkypeMutex> lock(m_usersmutex);
  for (auto& entry : users) {
    S_User& u = entry.second;
    // The same voice channel number exists once per account: only this
    // account's record is answered.
    if (u.audioplayer.channel != channel_id || (u.status != CHAN_ALERTING && u.status != CHAN_EARLY) ||
        !OwnsRecord(u.skype))
      continue;
    GW_TRACE("StartRecording: uid %d skp=%s %s\n\n", u.userid, u.skypepeer.c_str(), ps_skype->name.c_str());
    u.startconversation = gw_time();
    Velmora* gateway = ps_skype->arg;
    if (gateway && gateway->sip_call_accept) {
      gateway->sip_call_accept(u);
    } else {
      GW_TRACE("StartRecording: no SIP handler to answer uid %d\n\n", u.userid);
    }
    u.status = CHAN_CONNECTED;
    GW_TRACE("addstate id=%d s=%d \n\n", u.userid, u.status);
    addstate(u);
    return 1;
  }
  return 1;
}

int RTPLoopback::StopRecording(int channel_id) {
  GW_TRACE("StopRecording: channel_id %d\n", channel_id);
  return 1;
}

void RTPLoopback::SubmitRTPPacket(int channel_id, const Binary& data) {
  if (data.size() < kRtpHeader) {
    GW_TRACE("SubmitRTPPacket: channel %d: %d bytes, no RTP header, dropped\n\n", channel_id,
             static_cast<int>(data.size()));
    return;
  }
  // Relaying the packet to the channel's SIP leg belongs to call control.
  (void)m_callback;
}

int RTPLoopback::SendDTMF(int channel_id, int eventnr, int rtp_type) {
  GW_TRACE("SendDTMF: channel_id %d, event %d, rtp_type %d\n", channel_id, eventnr, rtp_type);
  return 1;
}

int RTPLoopback::SetOutputAmplification(int channel_id, int scale) {
  GW_TRACE("SetOutputAmplification: channel_id %d, scale %d\n", channel_id, scale);
  return 1;
}

int RTPLoopback::CustomCommand(const String& command, String& result_str) {
  GW_TRACE("CustomCommand: %s\n", command.data());
  result_str = "OK";
  return 1;
}

namespace Sid {

std::unique_ptr<SkypeMultiRTPInterface> SkypeMultiRTPInterfaceGet(SkypeMultiRTPCallbackInterface* callback,
                                                                   void* arg) {
  return std::make_unique<RTPLoopback>(callback, static_cast<S_Skype*>(arg));
}

void SkypeMultiRTPInterfaceRelease(std::unique_ptr<SkypeMultiRTPInterface> impl) { impl.reset(); }

}  // namespace Sid
