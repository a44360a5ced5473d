#ifndef VELMORA_SIPUA_DIGESTAUTH_H
#define VELMORA_SIPUA_DIGESTAUTH_H

// HTTP digest authentication for SIP (RFC 2617 as used by RFC 3261 22):
// the credentials store, the MD5 computation and the Authorization or
// Proxy-Authorization header that answers a 401 or 407.

#include "Protocol/sipua/Stack.h"

#include <string>

namespace sipua {

// The "response" value of RFC 2617 3.2.2 for MD5 or MD5-sess; qop "" or "auth".
std::string digest_response(const std::string& algorithm, const std::string& username, const std::string& realm,
                            const std::string& password, const std::string& method, const std::string& uri,
                            const std::string& nonce, const std::string& nc, const std::string& cnonce,
                            const std::string& qop);

// Adds to req the header answering the first challenge of a 401/407 response,
// with the credentials registered for the request's From user and the realm.
// nc is the nonce count to use, increased. 0, or a negative code when no
// credentials fit or the challenge asks for something unsupported.
int authorize(Stack& s, osip_message_t* req, const osip_message_t* challenge, unsigned& nc);
// False when req already carried an answer to this challenge's nonce and the
// challenge is not marked stale: the credentials were refused.
bool challenge_unanswered(const osip_message_t* req, const osip_message_t* challenge);
// Removes every Authorization and Proxy-Authorization header.
void remove_credentials(osip_message_t* m);

}  // namespace sipua

#endif
