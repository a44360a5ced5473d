#ifndef VELMORA_SIPUA_TRANSPORT_H
#define VELMORA_SIPUA_TRANSPORT_H

// UDP transport on the socket the application handed over: sending (for
// libosip2's transactions and for the few messages sent outside them), the
// receive loop of the transport thread, and the receive path of one datagram.

#include "Protocol/sipua/Stack.h"

#include <string>

namespace sipua {

constexpr size_t kMaxDatagram = 65535;

int send_text(Stack& s, const std::string& text, const std::string& host, int port);
int send_message(Stack& s, osip_message_t* m, const std::string& host, int port);
// libosip2's send callback.
int osip_send_callback(osip_transaction_t* tr, osip_message_t* sip, char* host, int port, int out_socket);
// Body of the transport thread.
void transport_loop(Stack& s);
// One received datagram, from ip:port. Caller holds the lock.
void receive_datagram(Stack& s, const char* data, size_t len, const std::string& ip, int port);

// For tests and the fuzzer: send into a sink instead of the socket, and feed a
// datagram to the receive path as if it had arrived (takes the lock).
void transport_set_sink(SendSink sink);
void transport_receive(const char* data, size_t len, const char* ip, int port);

}  // namespace sipua

#endif
