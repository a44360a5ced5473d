#ifndef VOICEHOST_MULTIRTP_SKYPEMULTIRTPINTERFACE_H
#define VOICEHOST_MULTIRTP_SKYPEMULTIRTPINTERFACE_H

// The multi-RTP voice interface between a Skype runtime and its voice host:
// the runtime calls SkypeMultiRTPInterface on the host, the host calls
// SkypeMultiRTPCallbackInterface on the runtime.

#include <cstdint>
#include <memory>
#include <vector>

#include "VoiceHost/sid/types/SEBinary.h"
#include "VoiceHost/sid/types/SEString.h"

namespace Sid {

class SkypeMultiRTPInterface {
public:
  typedef SEString String;
  typedef SEBinary Binary;

  // One codec offered to the runtime; every field travels on the wire.
  struct Codec {
    String Name;
    int PayloadType = 0;
    int Freq = 0;  // Hz
    int Channels = 0;
    std::vector<unsigned> SupportedPacketSizes;  // milliseconds
    int DefaultPacketSize = 0;
    int MinBitrate = 0;
    int MaxBitrate = 0;
    unsigned MaxDesiredPacketLoss = 0;
  };

  virtual ~SkypeMultiRTPInterface() = default;
  virtual int GetVersion(String& version) = 0;
  virtual int GetLastError() = 0;
  virtual int Init() = 0;
  virtual int Uninit() = 0;
  virtual int CreateChannel(unsigned call_member_id, unsigned conversation_id, int& channel) = 0;
  virtual int DeleteChannel(int channel_id) = 0;
  virtual int ChangeConversationId(int channel_id, unsigned conversation_id, unsigned call_member_id) = 0;
  virtual int GetCodec(unsigned id, Codec& codec) = 0;
  virtual int GetCodecCount(unsigned& count) = 0;
  virtual int SetSendCodec(int channel_id, const String& Name, int PacketSize, int BitRate, int PayloadType) = 0;
  virtual void InformSendPacketLoss(int channel_id, unsigned packetLossBeforeFEC, unsigned packetLossAfterFEC,
                                    unsigned jitterBeforeFEC, unsigned jitterAfterFEC) = 0;
  virtual int StartPlayback(int channel_id) = 0;
  virtual int StopPlayback(int channel_id) = 0;
  virtual int StartRecording(int channel_id) = 0;
  virtual int StopRecording(int channel_id) = 0;
  virtual void SubmitRTPPacket(int channel_id, const Binary& data) = 0;
  virtual int SendDTMF(int channel_id, int eventnr, int rtp_type) = 0;
  virtual int SetOutputAmplification(int channel_id, int scale) = 0;
  virtual int CustomCommand(const String& command, String& result_str) = 0;
};

class SkypeMultiRTPCallbackInterface {
public:
  typedef SEBinary Binary;
  virtual ~SkypeMultiRTPCallbackInterface() = default;
  // Hands one RTP packet of a voice channel to the runtime; false when it
  // could not be sent (the packet is lost).
  virtual bool SendRTPPacket(int channel_id, const Binary& data) = 0;
};

// The host's implementation of the interface, bound to the callback client
// and an opaque argument (the gateway passes the account record). Defined by
// the program that hosts the voice interface.
std::unique_ptr<SkypeMultiRTPInterface> SkypeMultiRTPInterfaceGet(SkypeMultiRTPCallbackInterface* callback,
                                                                   void* arg);
// Destroys the implementation; an empty pointer is ignored.
void SkypeMultiRTPInterfaceRelease(std::unique_ptr<SkypeMultiRTPInterface> impl);

}  // namespace Sid

#endif
