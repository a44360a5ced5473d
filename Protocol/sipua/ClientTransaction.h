#ifndef VELMORA_SIPUA_CLIENTTRANSACTION_H
#define VELMORA_SIPUA_CLIENTTRANSACTION_H

// Client transactions (libosip2's ICT and NICT): sending a request in one,
// CANCEL of a pending INVITE, and the routing of what libosip2 reports about
// them (responses, time-outs, transport errors) to calls, dialogs and
// registrations.

#include "Protocol/sipua/Stack.h"

namespace sipua {

// Starts an ICT or NICT for the request (taken in every case); null on failure.
Transaction* start_client_transaction(Stack& s, MsgPtr req, TxnKind kind);
// CANCEL for a client INVITE transaction (RFC 3261 9.1).
int send_cancel(Stack& s, Transaction& invite);
void install_client_callbacks(osip_t* osip);

}  // namespace sipua

#endif
