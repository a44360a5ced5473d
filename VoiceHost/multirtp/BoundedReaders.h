#ifndef VOICEHOST_MULTIRTP_BOUNDEDREADERS_H
#define VOICEHOST_MULTIRTP_BOUNDEDREADERS_H

#include "VoiceHost/sid/protocol/BinCommon.h"

namespace Sid {
namespace MultiRTP {

// Replaces the string and binary readers of a voice-interface protocol
// object with ones that refuse a length prefix above kMaxStringBytes /
// kMaxBinaryBytes before anything is allocated, so that no message can make
// the host allocate more than that per value. A zero-length binary empties
// its destination (the message records are reused from call to call).
void LimitValueSizes(Protocol::BinCommon& protocol);

}  // namespace MultiRTP
}  // namespace Sid

#endif
