#ifndef VELMORA_REGISTRY_AUDIOENDPOINTS_H
#define VELMORA_REGISTRY_AUDIOENDPOINTS_H

#include <pthread.h>

#include <cstdint>

// A channel's SIP-side RTP endpoints, held in every channel record. The
// sender, the receiver and the frame queue themselves belong to the RTP engine.
struct rtp_sender_str;
typedef rtp_sender_str RTP_SENDER_S;
struct RTP_RECV_Str;
struct _cir_queue;
typedef _cir_queue cir_queue_t;

// The sending side.
struct AUDIO_CAPTURE_s {
  volatile int nStateFlag = 0;  // 1 while a sender exists
  char acDstIP[16] = {};        // the SIP peer's RTP address as text
  uint16_t nsDstPort = 0;       // the peer's RTP port
  int channel = 0;
  RTP_SENDER_S* pSendRTP = nullptr;

  AUDIO_CAPTURE_s() = default;
  AUDIO_CAPTURE_s(const AUDIO_CAPTURE_s& other) { *this = other; }
  AUDIO_CAPTURE_s& operator=(const AUDIO_CAPTURE_s& other);
};

// The receiving side.
struct AUDIO_PLAY_s {
  volatile int nStateFlag = 0;  // 1 while a receiver is attached
  uint16_t nsRcvPort = 0;       // the channel's local RTP port
  pthread_t pthRevAudio = {};
  int channel = -1;             // also the voice host channel of the Skype call; -1 when free
  int countfail = 0;            // receive-timeout passes
  RTP_RECV_Str* pRevRtp = nullptr;

  AUDIO_PLAY_s() = default;
  AUDIO_PLAY_s(const AUDIO_PLAY_s& other) { *this = other; }
  AUDIO_PLAY_s& operator=(const AUDIO_PLAY_s& other);
};

#endif
