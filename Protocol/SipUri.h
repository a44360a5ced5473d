#ifndef PROTOCOL_SIPURI_H
#define PROTOCOL_SIPURI_H

#include <cstddef>
#include <string>

// Bounded building of the SIP URIs and header values the gateway makes from
// its configuration and from peers. Nothing is ever cut short: a part that
// is too long, or that holds a character which would change the meaning of
// the URI or of the header it goes into, is refused, and the caller traces
// it and sends nothing.

constexpr size_t kSipUriSize = 160;  // every URI buffer, terminator included
constexpr int kNoPort = -1;

// True when `user` may stand unescaped as the user part of a SIP URI:
// non-empty, letters, digits and - _ . ! ~ * ' ( ) + only (no ';', '?', '&',
// '=' or ',' either: parsers read those as parameters or header separators).
bool sip_user_ok(const std::string& user);

// True when `host` is a host name or IPv4 address: letters, digits, '-'
// and '.', non-empty.
bool sip_host_ok(const std::string& host);

// Formats "sip:user@host:port" (or "sip:user@host" with kNoPort) into `out`.
// False when a part is refused, the port is outside 0..65535, or the text
// does not fit the buffer; `out` then holds an empty string.
bool sip_make_uri(char (&out)[kSipUriSize], const std::string& user, const std::string& host, int port);

// A display name as a quoted string with '"' and '\' escaped. False when the
// name holds a control character (CR, LF, ...) or the result would not fit
// `size` bytes; `out` is then empty.
bool sip_quote_display_name(const std::string& name, char* out, size_t size);

#endif
