#include "Velmora/registry/AudioEndpoints.h"

#include <cstring>

// The state flags are volatile, which takes the implicit copy away; records
// are copied whole when they are queued for the writer thread.

AUDIO_CAPTURE_s& AUDIO_CAPTURE_s::operator=(const AUDIO_CAPTURE_s& other) {
  if (this == &other) return *this;
  nStateFlag = other.nStateFlag;
  memcpy(acDstIP, other.acDstIP, sizeof acDstIP);
  nsDstPort = other.nsDstPort;
  channel = other.channel;
  pSendRTP = other.pSendRTP;
  return *this;
}

AUDIO_PLAY_s& AUDIO_PLAY_s::operator=(const AUDIO_PLAY_s& other) {
  if (this == &other) return *this;
  nStateFlag = other.nStateFlag;
  nsRcvPort = other.nsRcvPort;
  pthRevAudio = other.pthRevAudio;
  channel = other.channel;
  countfail = other.countfail;
  pRevRtp = other.pRevRtp;
  return *this;
}
