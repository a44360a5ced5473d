#ifndef VELMORA_SIPUA_INBOUND_H
#define VELMORA_SIPUA_INBOUND_H

// The receive path of one parsed message: sanity checks, Via fix-up, handing
// retransmissions and responses to their transactions, and the routing of new
// requests to calls, dialogs or refusals.

#include "Protocol/sipua/Stack.h"

#include <string>

namespace sipua {

// Takes the event (and its message) in every case. Caller holds the lock.
void inbound(Stack& s, osip_event_t* evt, const std::string& ip, int port);

// Why a message cannot be taken, or null when it can. Sets fatal when no
// response can be built to it (a mandatory header is missing).
const char* malformed(const osip_message_t* m, bool& fatal);

}  // namespace sipua

#endif
