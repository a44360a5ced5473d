#include "Protocol/SipCodec.h"

namespace {

constexpr SipCodec kCodecs[] = {
    {0, "0", "0 PCMU/8000"},
    {8, "8", "8 PCMA/8000"},
    {18, "18", "18 G729/8000"},
};

}  // namespace

const SipCodec* sip_codec_for_payload(int payload) {
  for (const SipCodec& codec : kCodecs) {
    if (codec.payload == payload) return &codec;
  }
  return nullptr;
}
