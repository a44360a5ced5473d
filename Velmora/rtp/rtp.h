#ifndef VELMORA_RTP_RTP_H
#define VELMORA_RTP_RTP_H

// The gateway's RTP engine for the SIP legs: a sender per channel that builds
// RTP packets (RFC 3550 fixed header, no RTCP) in place and sends them to the
// SIP peer, a receiver record per channel, one process-wide receive thread
// that polls the sockets of every channel and hands each datagram to the
// channel's callback, and the four-slot frame queue through which received
// SIP audio waits for the Skype side.
//
// One UDP socket per channel serves both directions: the sender opens and
// owns it, the receiver borrows it (its `sock` is set by the code that
// attaches the receiver to the channel).

#include <netinet/in.h>
#include <pthread.h>

#include <cstdint>
#include <mutex>

#include "Velmora/registry/AudioEndpoints.h"

struct S_User;
class Velmora;

// RTP payload types: the static ones of RFC 3551 and the dynamic ones the
// gateway names.
enum rtp_pt_enum {
  RTP_PT_ULAW = 0,
  RTP_PT_GSM = 3,
  RTP_PT_G723 = 4,
  RTP_PT_ALAW = 8,
  RTP_PT_G722 = 9,
  RTP_PT_S16BE_STEREO = 10,
  RTP_PT_S16BE_MONO = 11,
  RTP_PT_MPEGAUDIO = 14,
  RTP_PT_G729 = 18,
  RTP_PT_JPEG = 26,
  RTP_PT_H261 = 31,
  RTP_PT_MPEGVIDEO = 32,
  RTP_PT_MPEG2TS = 33,
  RTP_PT_H263 = 34,
  RTP_PT_H264 = 96,
  RTP_PT_G726 = 97,
  RTP_PT_ADPCM = 98,
  RTP_PT_INVALID = 127,
};

constexpr int RTP_HEADER_LEN = 12;
constexpr int RTP_BUFFER_LEN = 1024;                            // one packet, header included
constexpr int RTP_MAX_PAYLOAD = RTP_BUFFER_LEN - RTP_HEADER_LEN;  // 1012
constexpr uint32_t RTP_SENDER_SSRC = 41030;  // the same for every sender
constexpr uint32_t RTP_FIRST_TIMESTAMP = 3600;
constexpr int RTP_RECV_POLL_MS = 1050;       // the receive thread's poll timeout

// The fixed header as it goes on the wire (multi-byte fields in network order).
struct rtp_hdr_str {
  uint8_t vpxcc;   // 0x80: version 2, no padding, no extension, no CSRC
  uint8_t mpt;     // marker (bit 7) and payload type (bits 0..6)
  uint16_t seq;
  uint32_t ts;
  uint32_t ssrc;
};
static_assert(sizeof(rtp_hdr_str) == RTP_HEADER_LEN, "the RTP header is 12 bytes");

typedef uint32_t uint_64;  // the counters' historical name; 32 bits wide

struct rtp_stats_str {
  uint_64 sent_packet;
  uint_64 sent_byte;
  uint_64 sent_error;
  uint_64 recv_packet;
  uint_64 recv_byte;
  uint_64 unavaillable;
  uint_64 bad;
  uint_64 discarded;
  uint_64 timeout_cnt;
};

enum rtp_targethost_state_enum {
  RTP_TARGETHOST_STATE_INIT = 0,
  RTP_TARGETHOST_STATE_REQ_IFrame = 1,
  RTP_TARGETHOST_STATE_REQ_PARA = 2,
  RTP_TARGETHOST_STATE_Sending = 3,
  RTP_TARGETHOST_STATE_BUTT = 4,
};

// The SIP peer a sender sends to.
struct rtp_targethost_str {
  char remote_ip[16];
  uint16_t remote_port;
  sockaddr_in remote_addr;
  int sock;
  bool bActive;  // sending is enabled
  rtp_targethost_state_enum hostState;
};

// A channel's sender. `lock` serialises the use of `buff` by the threads that
// send on the channel (the receive thread and a voice host thread).
struct rtp_sender_str {
  rtp_targethost_str targethosts;
  pthread_t thd;
  int pt;
  uint32_t ssrc;
  uint16_t last_sn;  // sequence number of the next packet
  uint16_t resv;
  uint32_t last_ts;  // timestamp of the next packet
  rtp_stats_str stats;
  bool bActive;
  int sock;  // the channel's UDP socket, owned here
  uint16_t rtpport;
  uint16_t rtcpport;
  uint8_t buff[RTP_BUFFER_LEN];  // the packet being sent
  int buffLen;                   // bytes of `buff` in use
  S_User* ext_args;              // the owning channel
  std::mutex lock;
};

// Four 20 ms frames: 160 bytes of PCMU or PCMA, or 20 of G.729.
constexpr int CIR_QUEUE_SLOTS = 4;
constexpr int CIR_QUEUE_SLOT_LEN = 160;

struct _cir_queue {
  int in;     // last slot handed to the writer
  int out;    // last slot handed to the reader
  int count;  // slots holding a frame
  uint8_t data[CIR_QUEUE_SLOTS][CIR_QUEUE_SLOT_LEN];
  int len[CIR_QUEUE_SLOTS];  // bytes held by each slot (the copying calls below)
  std::mutex queue_lock;
};

struct RTP_RECV_Str;

// Called on the receive thread, with the channel table locked, for every
// datagram read from the channel's socket (its 12-byte RTP header included).
typedef int (*RTP_ON_RECV_CB)(RTP_RECV_Str* receiver, char* packet, int len, S_User* ext_args,
                              Velmora* ext_args2);

// A channel's receiver.
struct RTP_RECV_Str {
  pthread_t thd;
  uint16_t listen_port;
  int sock;  // the channel's socket, owned by the sender; -1 until attached
  int pt;
  uint16_t last_sn;
  uint32_t last_ts;
  rtp_stats_str stats;
  RTP_ON_RECV_CB rtp_on_recv;
  cir_queue_t recqueue;
  S_User* ext_args;    // the channel
  Velmora* ext_args2;  // the gateway object
};

// --- sender ------------------------------------------------------------

// Creates `channel`'s sender with a UDP socket bound to `gwconfig.localip`
// and `channel->audioplayer.nsRcvPort`; `port` is only traced. 0 or -1.
int RTP_Sender_Create(RTP_SENDER_S** sender, int pt, int port, S_User* channel);

// Sets the single target (dotted IPv4 address, port); adding again replaces
// it. 0, or -1 for a null sender or an address that is not dotted IPv4.
int RTP_Sender_Add(RTP_SENDER_S* sender, const char* ip, uint16_t port);

// Builds the next packet in the sender's buffer: header with `last_sn` and
// `last_ts`, which then advance by 1 and `ts_inc`; `len` payload bytes
// (at most RTP_MAX_PAYLOAD). 0, or -1 for a null sender or a bad length.
int RTP_Packet(RTP_SENDER_S* sender, uint32_t ts_inc, int marker, const void* payload, int len,
               int pt);

// Sends the packet in the buffer to the target, if one is active, and counts
// it. Returns the sendto result (0 when nothing was sent, -1 for a null sender).
int RTP_Send(RTP_SENDER_S* sender);

// RTP_Packet and RTP_Send as one step that no other thread's use of the same
// sender interleaves with: what a sender shared between threads calls.
int RTP_Packet_Send(RTP_SENDER_S* sender, uint32_t ts_inc, int marker, const void* payload,
                    int len, int pt);

// Closes the socket and frees the sender. 0, or -1 for a null sender.
// A receiver that shares the socket is to be destroyed first, within the same
// hold of the channel table lock, so that the receive thread never polls a
// closed descriptor (or one the system has reused meanwhile).
int RTP_Sender_Destroy(RTP_SENDER_S* sender);

// --- receiver and receive thread ----------------------------------------

// Creates a receiver record (no socket). 0 or -1.
int RTP_Recv_Create(RTP_RECV_Str** receiver, uint16_t port, RTP_ON_RECV_CB callback,
                    S_User* ext_args, Velmora* ext_args2);

// Counts one more attached receiver in `gw_sipdata_thread.activesipchannel`.
void RTP_Recv_Count_Attached();

// Makes sure the receive thread runs. 1, or -1 for a null receiver.
int RTP_Recv_Thread_Start(RTP_RECV_Str* receiver);

// Uncounts and frees a receiver (its socket stays open: the sender owns it);
// the receive thread stops after the last one. 0, or -1 for a null receiver.
int RTP_Recv_Destroy(RTP_RECV_Str* receiver);

// True while a receive thread is serving (not yet committed to exit).
bool RTP_Recv_Thread_Alive();

// Waits up to `timeout_ms` for the receive thread to stop serving and joins
// it; true when no receive thread is left. Call without the channel table
// locked (the thread needs it to finish its pass).
bool RTP_Recv_Thread_Wait_Stopped(int timeout_ms);

// The media supervision that the receive thread runs for every polled channel
// with the channel table locked. The default does nothing; the call-audio
// code installs its own. A hook may end the channel's call (and so destroy
// its receiver): the thread reads the channel's endpoints afresh afterwards.
class RtpRecvSupervisor {
public:
  virtual ~RtpRecvSupervisor() = default;
  // Before the channel's socket is added to a poll.
  virtual void BeforePoll(S_User& channel) { (void)channel; }
  // After a datagram of the channel was read and its callback has run.
  virtual void AfterPacket(S_User& channel) { (void)channel; }
  // For every polled channel, after a poll that timed out or failed.
  virtual void AfterTimeout(S_User& channel) { (void)channel; }
};

// Installs the supervision (null: none). Not owned; must outlive the thread.
void RTP_Recv_Set_Supervisor(RtpRecvSupervisor* supervisor);

// --- frame queue --------------------------------------------------------

// Empties a queue.
void queue_init(cir_queue_t* queue);

// The slot for the next frame; when all four hold frames the oldest is
// dropped. The slot counts as full at once, before the writer fills it: use
// this pair only where writer and reader are the same thread.
uint8_t* queue_get_next_empty_buffer(cir_queue_t* queue);

// The oldest frame, or null when the queue is empty.
uint8_t* queue_get_next_full_buffer(cir_queue_t* queue);

// Thread-safe pair for a writer and a reader on different threads: the frame
// is copied in and out under the queue's lock, so a frame becomes readable
// only once written and is never overwritten while being read.
// queue_put_frame stores min(len, 160) bytes (overwriting the oldest frame of
// a full queue) and returns the count stored; queue_take_frame copies the
// oldest frame into `out` (at most `cap` bytes) and returns its length, or
// -1 when the queue is empty.
int queue_put_frame(cir_queue_t* queue, const void* frame, int len);
int queue_take_frame(cir_queue_t* queue, void* out, int cap);

#endif
