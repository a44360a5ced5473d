// Reading the peer's SDP into a channel's RTP endpoints.

#include <cstdlib>
#include <cstring>

#include "Protocol/sipua/OsipIncludes.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

// Index of the first audio media of `sdp`, or -1.
int first_audio_media(sdp_message_t* sdp) {
  for (int pos = 0; !sdp_message_endof_media(sdp, pos); ++pos) {
    const char* media = sdp_message_m_media_get(sdp, pos);
    if (media != nullptr && strcmp(media, "audio") == 0) return pos;
  }
  return -1;
}

// The port text as a number 0..65535, or -1.
int parse_port(const char* text) {
  if (text == nullptr || *text == '\0') return -1;
  long value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = value * 10 + (*p - '0');
    if (value > 65535) return -1;
  }
  return static_cast<int>(value);
}

}  // namespace

int Velmora::InitAudioAttr(sdp_message_t* sdp, AUDIO_CAPTURE_s* capture, AUDIO_PLAY_s* play) {
  if (sdp == nullptr) return -1;
  int audio = first_audio_media(sdp);
  if (audio < 0) return 0;

  // The session-level address, else the audio stream's own.
  const char* addr = sdp_message_c_addr_get(sdp, -1, 0);
  if (addr == nullptr) addr = sdp_message_c_addr_get(sdp, audio, 0);
  if (addr == nullptr) {
    GW_TRACE("get connection error\n\n");
    return -1;
  }
  if (capture == nullptr || play == nullptr) {
    GW_TRACE("NULL pointer\n\n");
    return -1;
  }
  if (strcmp(addr, capture->acDstIP) == 0) return 0;

  // An address that does not fit, or a port that is no port, is refused
  // rather than cut into a different destination.
  if (strlen(addr) >= sizeof capture->acDstIP) {
    GW_TRACE("peer RTP address too long: %.64s\n\n", addr);
    return -1;
  }
  int port = parse_port(sdp_message_m_port_get(sdp, audio));
  if (port < 0) {
    GW_TRACE("peer RTP port invalid\n\n");
    return -1;
  }
  capture->nsDstPort = static_cast<uint16_t>(port);
  snprintf(capture->acDstIP, sizeof capture->acDstIP, "%s", addr);
  return 0;
}
