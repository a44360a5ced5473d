#ifndef VELMORA_VOICEHOST_RTPLOOPBACK_H
#define VELMORA_VOICEHOST_RTPLOOPBACK_H

#include <cstdint>

#include "VoiceHost/multirtp/SkypeMultiRTPInterface.h"

struct S_Skype;

// The voice host of one Skype account: binds the runtime's voice channels to
// channel records and moves each call's audio between the runtime and the
// channel's SIP leg. Its operations run on the account's voice host thread.
class RTPLoopback : public Sid::SkypeMultiRTPInterface {
public:
  RTPLoopback(Sid::SkypeMultiRTPCallbackInterface* callback, S_Skype* account);

  int GetVersion(String& version) override;
  int GetLastError() override;
  int Init() override;
  int Uninit() override;
  int CreateChannel(unsigned call_member_id, unsigned conversation_id, int& channel) override;
  int DeleteChannel(int channel_id) override;
  int ChangeConversationId(int channel_id, unsigned conversation_id, unsigned call_member_id) override;
  int GetCodec(unsigned id, Codec& codec) override;
  int GetCodecCount(unsigned& count) override;
  int SetSendCodec(int channel_id, const String& Name, int PacketSize, int BitRate, int PayloadType) override;
  void InformSendPacketLoss(int channel_id, unsigned packetLossBeforeFEC, unsigned packetLossAfterFEC,
                            unsigned jitterBeforeFEC, unsigned jitterAfterFEC) override;
  int StartPlayback(int channel_id) override;
  int StopPlayback(int channel_id) override;
  int StartRecording(int channel_id) override;
  int StopRecording(int channel_id) override;
  void SubmitRTPPacket(int channel_id, const Binary& data) override;
  int SendDTMF(int channel_id, int eventnr, int rtp_type) override;
  int SetOutputAmplification(int channel_id, int scale) override;
  int CustomCommand(const String& command, String& result_str) override;

  uint32_t active_channels() const { return m_activechannels; }

private:
  // True when the channel record belongs to this host's account.
  bool OwnsRecord(const S_Skype* record_account) const;

  Sid::SkypeMultiRTPCallbackInterface* m_callback;  // not owned
  int32_t m_channel_created = 0;
  S_Skype* ps_skype;  // not owned
  uint32_t m_activechannels = 0;
};

#endif
