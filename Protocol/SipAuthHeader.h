#ifndef PROTOCOL_SIPAUTHHEADER_H
#define PROTOCOL_SIPAUTHHEADER_H

#include <string>

struct osip_message;
typedef struct osip_message osip_message_t;

// The value of the message's first Authorization header; empty when it has
// none (or it cannot be printed).
std::string sip_first_authorization(osip_message_t* message);

// Makes `text` the message's only Authorization header (replacing those the
// stack put there). Nothing happens for an empty text. False when the text
// cannot be parsed as a header value.
bool sip_set_authorization(osip_message_t* message, const std::string& text);

#endif
