#ifndef VOICEHOST_MULTIRTP_SKYPEMULTIRTPINTERFACECLIENT_H
#define VOICEHOST_MULTIRTP_SKYPEMULTIRTPINTERFACECLIENT_H

#include <mutex>

#include "VoiceHost/multirtp/AVClient.h"
#include "VoiceHost/multirtp/MultiRTPMessages.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterface.h"

namespace Sid {

// The runtime's end of the server connection: calls a voice host's
// SkypeMultiRTPInterface and waits for each answer (the runtime simulator
// uses it). Every operation answers the host's return value, or -1 (and
// leaves its out-parameters alone) when the call failed or was refused.
class SkypeMultiRTPInterfaceClient : public SkypeMultiRTPInterface, public AVClient {
public:
  SkypeMultiRTPInterfaceClient();

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

  // The outcome of the most recent call: 0 when it went through, otherwise
  // its Protocol::Status (ERR_CALL when the host answered with an error
  // response), which tells a refusal from a broken connection.
  int last_status() const { return m_last_status; }

private:
  // Sends method with the request record (none when descriptor is ~0u) and,
  // when response is given, reads the answer into it.
  bool Call(unsigned method, const void* request, unsigned request_descriptor, void* response,
            unsigned response_descriptor);
  int ChannelCall(unsigned method, unsigned request_descriptor, int channel_id);

  std::mutex m_Mutex;
  MultiRTP::multirtpifMsgs msgs;
  int m_last_status = 0;
};

}  // namespace Sid

#endif
