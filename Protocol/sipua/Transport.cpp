// UDP transport: every datagram the stack sends goes through send_text, every
// datagram it receives through receive_datagram.

#include "Protocol/sipua/Transport.h"

#include "Protocol/sipua/Inbound.h"
#include "Velmora/registry/Trace.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace sipua {

static bool resolve(const std::string& host, int port, sockaddr_in& out) {
  out = sockaddr_in{};
  out.sin_family = AF_INET;
  out.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
  out.sin_addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
  freeaddrinfo(res);
  return true;
}

int send_text(Stack& s, const std::string& text, const std::string& host, int port) {
  if (text.empty() || host.empty() || port <= 0 || port > 65535) return OSIP_BADPARAMETER;
  if (s.sink) {
    s.sink(text, host, port);
    return OSIP_SUCCESS;
  }
  if (s.sock < 0) return OSIP_WRONG_STATE;
  sockaddr_in to{};
  if (!resolve(host, port, to)) {
    GW_TRACE("cannot resolve %s\n", host.c_str());
    return OSIP_UNKNOWN_HOST;
  }
  ssize_t n = sendto(s.sock, text.data(), text.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to);
  if (n < 0 || static_cast<size_t>(n) != text.size()) {
    GW_TRACE("sendto %s:%d failed\n", host.c_str(), port);
    return OSIP_UNDEFINED_ERROR;
  }
  return OSIP_SUCCESS;
}

int send_message(Stack& s, osip_message_t* m, const std::string& host, int port) {
  std::string text = to_text(m);
  if (text.empty()) return OSIP_SYNTAXERROR;
  return send_text(s, text, host, port);
}

int osip_send_callback(osip_transaction_t* tr, osip_message_t* sip, char* host, int port, int) {
  Stack* s = tr ? stack_of(tr) : stack();
  if (!s || !sip) return -1;
  std::string dest = host ? host : "";
  int dport = port;
  char* rhost = nullptr;
  if (MSG_IS_RESPONSE(sip) && dest.empty()) {
    osip_response_get_destination(sip, &rhost, &dport);
    if (rhost) {
      dest = rhost;
      osip_free(rhost);
    }
  }
  if (dport <= 0) dport = 5060;
  return send_message(*s, sip, dest, dport) == OSIP_SUCCESS ? 0 : -1;
}

void transport_loop(Stack& s) {
  std::vector<char> buf(kMaxDatagram + 1);
  while (!s.stopping) {
    pollfd p{s.sock, POLLIN, 0};
    int ready = poll(&p, 1, 50);
    if (ready > 0 && (p.revents & (POLLNVAL | POLLERR)) && !(p.revents & POLLIN)) {
      usleep(50 * 1000);  // the socket went bad: keep the timers going, do not spin
      ready = 0;
    }
    Lock l(s.mu);
    if (ready > 0 && (p.revents & POLLIN)) {
      for (int i = 0; i < 64; ++i) {
        sockaddr_in from{};
        socklen_t flen = sizeof from;
        ssize_t n = recvfrom(s.sock, buf.data(), buf.size(), MSG_DONTWAIT | MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&from), &flen);
        if (n < 0) break;
        if (static_cast<size_t>(n) > kMaxDatagram) {
          GW_TRACE("datagram of %zd bytes dropped\n", n);
          continue;
        }
        char ip[INET_ADDRSTRLEN] = {0};
        inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
        receive_datagram(s, buf.data(), static_cast<size_t>(n), ip, ntohs(from.sin_port));
      }
    }
    process(s);
  }
}

void receive_datagram(Stack& s, const char* data, size_t len, const std::string& ip, int port) {
  if (!data || len == 0 || len > kMaxDatagram) return;
  size_t i = 0;
  while (i < len && (data[i] == '\r' || data[i] == '\n' || data[i] == ' ')) ++i;
  if (i == len) return;  // keep-alive
  osip_event_t* evt = osip_parse(data, len);
  if (!evt) {
    GW_TRACE("unparsable datagram of %zu bytes from %s:%d dropped\n", len, ip.c_str(), port);
    return;
  }
  inbound(s, evt, ip, port);
  process(s);
}

void transport_set_sink(SendSink sink) {
  Stack* s = stack();
  if (!s) return;
  Lock l(s->mu);
  s->sink = std::move(sink);
}

void transport_receive(const char* data, size_t len, const char* ip, int port) {
  Stack* s = stack();
  if (!s) return;
  Lock l(s->mu);
  receive_datagram(*s, data, len, ip ? ip : "127.0.0.1", port);
}

}  // namespace sipua
