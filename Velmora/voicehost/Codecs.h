#ifndef VELMORA_VOICEHOST_CODECS_H
#define VELMORA_VOICEHOST_CODECS_H

#include "VoiceHost/multirtp/SkypeMultiRTPInterface.h"

// A codec row of the voice host, built from its nine values in field order.
struct MyCodec : Sid::SkypeMultiRTPInterface::Codec {
  MyCodec(const char* name, int payload_type, int freq, int channels, const unsigned (&packet_sizes)[6],
          int default_packet_size, int min_bitrate, int max_bitrate, unsigned max_desired_packet_loss);
};

constexpr int kCodecRows = 7;
// The codecs the voice host knows. Only the row of the configured SIP codec
// (rtpplaytype) is offered to the runtime; the SILK rows are never offered.
extern const MyCodec codecs[kCodecRows];

// The row offered for the payload type `rtpplaytype` (0 PCMU, 8 PCMA,
// 18 G.729), or null for any other type.
const MyCodec* codec_for_payload_type(int rtpplaytype);

#endif
