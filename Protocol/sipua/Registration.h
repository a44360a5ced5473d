#ifndef VELMORA_SIPUA_REGISTRATION_H
#define VELMORA_SIPUA_REGISTRATION_H

// Registrations (RFC 3261 10): REGISTER requests with a stable Call-ID and
// rising CSeq per registration, one at a time, answers to challenges, and
// refreshes before the binding expires.

#include "Protocol/sipua/Stack.h"

namespace sipua {

// A response (sip null: time-out or transport error) on a REGISTER.
void registration_outcome(Stack& s, Transaction& t, osip_message_t* sip);
// Re-sends a REGISTER answered 401/407 with credentials, once per challenge.
int resend_register_with_credentials(Stack& s, Registration& r);
// Sends the refreshes that are due.
void refresh_registrations(Stack& s);

}  // namespace sipua

#endif
