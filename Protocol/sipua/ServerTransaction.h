#ifndef VELMORA_SIPUA_SERVERTRANSACTION_H
#define VELMORA_SIPUA_SERVERTRANSACTION_H

// Server transactions (libosip2's IST and NIST): starting one for a received
// request, answering on it, CANCEL, and the answers the stack gives itself to
// requests the application leaves unanswered.

#include "Protocol/sipua/Stack.h"

namespace sipua {

// Starts an IST or NIST for a received request and hands it the request event.
// Null (the event freed, a 500 sent statelessly) when libosip2 refuses.
Transaction* start_server_transaction(Stack& s, osip_event_t* evt, TxnKind kind);
// Builds an answer on a server transaction (with our To tag).
MsgPtr build_server_answer(Stack& s, Transaction& t, int code);
// Sends an answer on a server transaction; takes the message.
int send_server_response(Stack& s, Transaction& t, MsgPtr answer);
int respond(Stack& s, Transaction& t, int code);
// Refuses a received request with a final answer on a transaction of its own.
void reject(Stack& s, osip_event_t* evt, int code);
// An answer sent outside any transaction (overload, malformed requests).
void respond_stateless(Stack& s, const osip_message_t* req, int code);
// CANCEL: 200 to it and 487 to its INVITE, or 481 when it matches none.
void on_cancel(Stack& s, osip_event_t* evt);
// The answer the stack gives when the application freed a request event
// without answering it.
void answer_unanswered(Stack& s, const eXosip_event_t* e);
// The server transaction an application answer refers to, or null.
Transaction* answerable(Stack& s, int tid);

}  // namespace sipua

#endif
