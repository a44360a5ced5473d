#ifndef VELMORA_SIPUA_SIPUA_H
#define VELMORA_SIPUA_SIPUA_H

// The SIP user agent of the gateway: a small UDP user-agent layer over
// libosip2's parser, transaction state machines and dialogs. The operations
// are named after the calls the SIP handler makes; all are safe to call from
// several threads (each takes the stack lock, which eXosip_lock also takes).
//
// Ownership: a message built by a *_build_* call belongs to the caller until
// it is handed to the matching *_send_* call, which takes it in every case
// (also when it fails). Events returned by eXosip_event_wait belong to the
// caller and are released with eXosip_event_free.

#include "Protocol/sipua/OsipIncludes.h"

// Event types; the numbers are part of the interface (the gateway's handler
// table is keyed by them).
enum eXosip_event_type_t {
  EXOSIP_REGISTRATION_NEW = 0,
  EXOSIP_REGISTRATION_SUCCESS = 1,
  EXOSIP_REGISTRATION_FAILURE = 2,
  EXOSIP_REGISTRATION_REFRESHED = 3,
  EXOSIP_REGISTRATION_TERMINATED = 4,
  EXOSIP_CALL_INVITE = 5,
  EXOSIP_CALL_REINVITE = 6,
  EXOSIP_CALL_NOANSWER = 7,
  EXOSIP_CALL_PROCEEDING = 8,
  EXOSIP_CALL_RINGING = 9,
  EXOSIP_CALL_ANSWERED = 10,
  EXOSIP_CALL_REDIRECTED = 11,
  EXOSIP_CALL_REQUESTFAILURE = 12,
  EXOSIP_CALL_SERVERFAILURE = 13,
  EXOSIP_CALL_GLOBALFAILURE = 14,
  EXOSIP_CALL_ACK = 15,
  EXOSIP_CALL_CANCELLED = 16,
  EXOSIP_CALL_TIMEOUT = 17,
  EXOSIP_CALL_MESSAGE_NEW = 18,
  EXOSIP_CALL_MESSAGE_PROCEEDING = 19,
  EXOSIP_CALL_MESSAGE_ANSWERED = 20,
  EXOSIP_CALL_MESSAGE_REDIRECTED = 21,
  EXOSIP_CALL_MESSAGE_REQUESTFAILURE = 22,
  EXOSIP_CALL_MESSAGE_SERVERFAILURE = 23,
  EXOSIP_CALL_MESSAGE_GLOBALFAILURE = 24,
  EXOSIP_CALL_CLOSED = 25,
  EXOSIP_CALL_RELEASED = 26,
  EXOSIP_MESSAGE_NEW = 27,
  EXOSIP_MESSAGE_PROCEEDING = 28,
  EXOSIP_MESSAGE_ANSWERED = 29,
  EXOSIP_MESSAGE_REDIRECTED = 30,
  EXOSIP_MESSAGE_REQUESTFAILURE = 31,
  EXOSIP_MESSAGE_SERVERFAILURE = 32,
  EXOSIP_MESSAGE_GLOBALFAILURE = 33,
  // 34-53 are the subscription and notification events; this layer has no
  // subscriptions (SUBSCRIBE is answered 501) and never produces them.
  EXOSIP_SUBSCRIPTION_FIRST = 34,
  EXOSIP_EVENT_COUNT = 54
};

struct eXosip_event {
  eXosip_event_type_t type;
  char textinfo[256];        // the event type's name
  int tid;                   // transaction id (0 when none)
  int did;                   // dialog id (0 when none)
  int rid;                   // registration id (0 when none)
  int cid;                   // call id (0 when none)
  int sid;                   // subscription id (always 0)
  int nid;                   // notification id (always 0)
  osip_message_t* request;   // copy of the request concerned, or null
  osip_message_t* response;  // copy of the response concerned, or null
  osip_message_t* ack;       // copy of the ACK for EXOSIP_CALL_ACK, or null
};
typedef struct eXosip_event eXosip_event_t;

// Stack life. eXosip_init returns 0 or a negative libosip2 error code.
int eXosip_init(void);
void eXosip_quit(void);
int eXosip_set_user_agent(const char* user_agent);
// Hands the stack a UDP socket that the caller created and bound. transport
// must be IPPROTO_UDP (17); port is the port the caller bound (checked against
// the socket). Starts the stack's transport thread. 0 or a negative code.
int eXosip_set_socket(int transport, int socket, int port);
void eXosip_lock(void);
void eXosip_unlock(void);

// Events. eXosip_event_wait waits at most tv_s seconds plus tv_ms ms and
// returns the next event, or null. A request event (INVITE, re-INVITE, BYE,
// in-dialog or out-of-dialog request) that still has no answer when it is
// freed is answered by the stack (the table is at the top of ServerTransaction.cpp).
eXosip_event_t* eXosip_event_wait(int tv_s, int tv_ms);
void eXosip_event_free(eXosip_event_t* event);
// Re-sends a request answered 401/407 with the registered credentials, once
// per challenge. 0 when something was sent, a negative code otherwise.
int eXosip_default_action(eXosip_event_t* event);
// Refreshes the registrations that are due.
void eXosip_automatic_refresh(void);

// Digest credentials (RFC 2617, MD5, qop=auth). username is the name sent in
// the Authorization header, userid the SIP user whose requests they answer
// (matched with the From user); ha1 names the algorithm: null, "" or "md5"
// (any case). realm null or "" means any realm. Adding credentials for the
// same userid and realm replaces the earlier ones.
int eXosip_add_authentication_info(const char* username, const char* userid, const char* passwd,
                                   const char* ha1, const char* realm);
void eXosip_clear_authentication_info(void);

// Registration. Returns the registration id (> 0) or a negative code. A second
// initial registration for the same From and registrar reuses its id.
int eXosip_register_build_initial_register(const char* from, const char* proxy, const char* contact,
                                           int expires, osip_message_t** reg);
// A new REGISTER on a registration (refresh, or answer to the last challenge
// with the Authorization header filled in). Refused (OSIP_WRONG_STATE) while a
// REGISTER of the registration waits for its final response.
int eXosip_register_build_register(int rid, int expires, osip_message_t** reg);
int eXosip_register_send_register(int rid, osip_message_t* reg);

// Calls.
int eXosip_call_build_initial_invite(osip_message_t** invite, const char* to, const char* from,
                                     const char* route, const char* subject);
// Returns the call id (> 0) or a negative code.
int eXosip_call_send_initial_invite(osip_message_t* invite);
// Answers on a server transaction (INVITE, BYE or another request of a call).
int eXosip_call_build_answer(int tid, int status, osip_message_t** answer);
// answer may be null: the stack then builds the answer itself.
int eXosip_call_send_answer(int tid, int status, osip_message_t* answer);
int eXosip_call_build_ack(int did, osip_message_t** ack);
int eXosip_call_send_ack(int did, osip_message_t* ack);
int eXosip_call_build_info(int did, osip_message_t** request);
int eXosip_call_build_request(int did, const char* method, osip_message_t** request);
int eXosip_call_send_request(int did, osip_message_t* request);
// Ends a call as its state requires: CANCEL (placed call not answered yet),
// BYE (established dialog), 603 (incoming call not answered yet).
int eXosip_call_terminate(int cid, int did);

// Answers to requests outside calls (and to in-dialog requests, the same way).
int eXosip_message_build_answer(int tid, int status, osip_message_t** answer);
int eXosip_message_send_answer(int tid, int status, osip_message_t* answer);
// MESSAGE and other requests outside any dialog.
int eXosip_message_build_request(osip_message_t** message, const char* method, const char* to,
                                 const char* from, const char* route);
// Returns the transaction id (> 0) or a negative code.
int eXosip_message_send_request(osip_message_t* message);

// SDP. The returned SDP is the caller's (sdp_message_free); the audio media
// points into it.
sdp_message_t* eXosip_get_remote_sdp_from_tid(int tid);
sdp_media_t* eXosip_get_audio_media(sdp_message_t* sdp);

#endif
