#ifndef PROTOCOL_SIPCODEC_H
#define PROTOCOL_SIPCODEC_H

// The audio codecs the gateway can announce, by RTP payload type number
// (`gwconfig.rtpplaytype`): 0 PCMU, 8 PCMA, 18 G729. Every SDP the gateway
// sends offers exactly one of them plus telephone-event 101.
struct SipCodec {
  int payload;         // 0, 8 or 18
  const char* number;  // the payload number as text, for the m= line
  const char* rtpmap;  // the rtpmap attribute value, "8 PCMA/8000"
};

// The codec of a payload type; null for any type that has no media format
// here. Such a type is refused: no SDP is built, so no offer or answer is
// sent announcing a codec the media side does not speak.
const SipCodec* sip_codec_for_payload(int payload);

#endif
