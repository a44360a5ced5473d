#ifndef VELMORA_SIPUA_CALL_H
#define VELMORA_SIPUA_CALL_H

// Calls: the INVITE the stack places and what comes back to it, and the
// re-sending of an INVITE answered 401/407 with credentials.

#include "Protocol/sipua/Stack.h"

namespace sipua {

// A response (sip null: time-out or transport error) on a client INVITE.
void invite_outcome(Stack& s, Transaction& t, osip_message_t* sip);
// Re-sends the call's INVITE answered 401/407 with credentials, once per
// challenge. 0 when sent.
int resend_invite_with_credentials(Stack& s, Call& c);

}  // namespace sipua

#endif
