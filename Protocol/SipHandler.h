#ifndef PROTOCOL_SIPHANDLER_H
#define PROTOCOL_SIPHANDLER_H

#include "Protocol/MyThread.h"
#include "Protocol/SipHandlerTable.h"

struct S_User;
struct sdp_message;
typedef struct sdp_message sdp_message_t;

// The gateway's one wrapper around the SIP stack: it brings the stack up on
// one UDP socket, runs the SIP event thread that hands every event to the
// handler registered for its type, and builds and sends every SIP request
// and response of the gateway.
//
// Every build-and-send sequence runs under the stack's lock, so the
// registration thread, the media threads and the Skype callbacks may call
// these operations beside the event thread. None of them takes the
// channel-table lock: callers hold it where they touch channel records.
class SipHandler : public MyThread {
public:
  // Initialises the stack and the transport (SipInit); a handler whose
  // socket could not be set up still exists and its thread still runs.
  SipHandler();
  ~SipHandler() override;

  // 1 when the transport is set up, 0 when the socket could not be created,
  // configured or bound. Exits the process with -1 when the stack itself
  // cannot be initialised.
  int SipInit();
  // Whether SipInit bound the socket.
  bool transport_up() const { return m_transport_up; }

  // Stores (handler, context) under `type`, replacing an earlier entry.
  void Register(int type, SipProtoHandler handler, void* context);

  void StartSipHandler() { Start(); }
  void StopSipHandler() { Stop(); }

  // The event loop: 200 ms waits, the stack's default action and refresh
  // every turn, dispatch through the handler table.
  void Run() override;

  // Traces the three answers 101, 487 and 603; -1 when there is no event or
  // no response, else 0.
  int Do_action(eXosip_event_t* event);
  // Traces the event type's name.
  void PrintEventType(eXosip_event_t* event);

  // Registration. `user` is the account record; the caller holds the
  // channel-table lock.
  // 0; -2 when a URI is refused; -3 when the request cannot be built; -4 when
  // the credentials are refused; -5 when it cannot be sent.
  int registersip(const char* localIp, S_User& user, const char* remoteIp, int port);
  // Re-sends on the failed registration's id after a challenge; caches the
  // Authorization header text in user.auth when it is empty. 0 or -1.
  int registersip_again(S_User& user, eXosip_event_t* event);
  // Refreshes the account's registration with the cached Authorization text.
  // 0 or -1.
  int registersip_heartdbeat(S_User& user);

  // Requests and responses on one channel record.
  // A new INVITE from sipuserid@localip to phone@hostip:hostport with the
  // SDP offer; sets cid, calltype 1, status 5 and queues a state record. 0;
  // -1 when a URI is refused or no SDP can be built (nothing sent, only
  // `peer` set); the stack's code when the INVITE cannot be built.
  int SipInvite(S_User& user);
  // 183 or 200 with the SDP answer on the record's tid; -1 (nothing sent)
  // when the answer or the SDP cannot be built.
  int SIP183(S_User& user);
  int SIPCallAccept(S_User& user);
  // 486 and 487 without body on a transaction; always 0.
  int SipBusy(int tid);
  int Sipreqterminated(int tid);
  // Ends the record's call as its dialog state requires; always 0.
  int SIPCallCancel(S_User& user);

  // The gateway's SDP for RTP port `port` and session name `name`: 0, or -1
  // on the first step that fails (traced; *out is then null). The caller
  // frees *out with sdp_message_free.
  static int SIPBuildMsgSDP(sdp_message_t** out, int port, const char* name);

  static constexpr int kSessionIdBase = 1000000000;

private:
  int answer_with_sdp(S_User& user, int code);

  SipHandlerTable m_handlers;
  int m_socket = -1;
  bool m_transport_up = false;
};

// The RTP port of a channel record: defaultaudioport + 2 * userid.
int sip_rtp_port(const S_User& user);

#endif
