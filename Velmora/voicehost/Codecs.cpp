#include "Velmora/voicehost/Codecs.h"

namespace {
const unsigned supported_SILK_packet_sizes[6] = {20, 20, 20, 20, 20, 0};
const unsigned supported_NB_codec_packet_sizes[6] = {20, 20, 20, 20, 20, 0};
}  // namespace

MyCodec::MyCodec(const char* name, int payload_type, int freq, int channels, const unsigned (&packet_sizes)[6],
                 int default_packet_size, int min_bitrate, int max_bitrate, unsigned max_desired_packet_loss) {
  Name = name;
  PayloadType = payload_type;
  Freq = freq;
  Channels = channels;
  SupportedPacketSizes.assign(packet_sizes, packet_sizes + 6);
  DefaultPacketSize = default_packet_size;
  MinBitrate = min_bitrate;
  MaxBitrate = max_bitrate;
  MaxDesiredPacketLoss = max_desired_packet_loss;
}

const MyCodec codecs[kCodecRows] = {
    {"SILK_V3", 100, 24000, 1, supported_SILK_packet_sizes, 20, 6000, 40000, 100},
    {"SILK_WB_V3", 104, 16000, 1, supported_SILK_packet_sizes, 20, 6000, 30000, 100},
    {"SILK_MB_V3", 102, 12000, 1, supported_SILK_packet_sizes, 20, 6000, 25000, 100},
    {"SILK_NB_V3", 103, 8000, 1, supported_SILK_packet_sizes, 20, 6000, 20000, 100},
    {"G729", 18, 8000, 1, supported_NB_codec_packet_sizes, 20, 8000, 8000, 1},
    {"PCMU", 0, 8000, 1, supported_NB_codec_packet_sizes, 20, 64000, 64000, 1},
    {"PCMA", 8, 8000, 1, supported_NB_codec_packet_sizes, 20, 64000, 64000, 1},
};

const MyCodec* codec_for_payload_type(int rtpplaytype) {
  switch (rtpplaytype) {
    case 0:
      return &codecs[5];
    case 8:
      return &codecs[6];
    case 18:
      return &codecs[4];
    default:
      return nullptr;
  }
}
