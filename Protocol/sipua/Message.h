#ifndef VELMORA_SIPUA_MESSAGE_H
#define VELMORA_SIPUA_MESSAGE_H

// Message helpers: ownership of libosip2 messages, tokens (tags, branches,
// Call-IDs), header access and the building blocks every request and response
// of the stack is made of.

#include "Protocol/sipua/OsipIncludes.h"

#include <memory>
#include <string>

namespace sipua {

class Stack;

struct MsgDeleter {
  void operator()(osip_message_t* m) const {
    if (m) osip_message_free(m);
  }
};
using MsgPtr = std::unique_ptr<osip_message_t, MsgDeleter>;

MsgPtr clone_msg(const osip_message_t* m);

// Random lowercase hex text of the given length.
std::string random_hex(size_t len);
std::string new_branch();

std::string to_text(osip_message_t* m);  // serialised message, "" on failure
std::string uri_text(const osip_uri_t* uri);
std::string from_tag(const osip_message_t* m);
std::string to_tag(const osip_message_t* m);
std::string call_id_text(const osip_message_t* m);
std::string top_branch(const osip_message_t* m);
long cseq_number(const osip_message_t* m);  // -1 when missing or invalid
std::string cseq_method(const osip_message_t* m);
std::string first_body(const osip_message_t* m);
std::string unquote(const char* s);
bool method_is(const osip_message_t* m, const char* method);

// Drops any Content-Length the message carries so that serialisation writes
// the length of the bodies it really has.
void reset_content_length(osip_message_t* m);

// Our address as seen toward a host (the bound address, or the source address
// the kernel picks when the socket is bound to every address).
std::string local_ip_toward(const Stack& s, const std::string& host);

// A new request with request line, Via (fresh branch), Max-Forwards and
// User-Agent; the caller adds From, To, Call-ID, CSeq.
MsgPtr new_request(const Stack& s, const char* method, const osip_uri_t* req_uri);
int set_top_via(const Stack& s, osip_message_t* m, const std::string& host);

// A response to a request: Via list, From, To (with to_tag added when the
// request's To has none and code > 100), Call-ID, CSeq, Server; for a
// dialog-forming answer to an INVITE also the Record-Route headers.
MsgPtr build_response(const Stack& s, const osip_message_t* req, int code, const std::string& to_tag);

// Contact of our own for a user: "<sip:user@ip:port>".
std::string own_contact(const Stack& s, const std::string& user, const std::string& toward_host);

// Where a request goes: the first Route (loose routing) or the request URI.
void request_destination(const osip_message_t* m, std::string& host, int& port);

}  // namespace sipua

#endif
