// The per-channel RTP sender: socket set-up, the target, building packets in
// place and sending them.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"
#include "Velmora/rtp/rtp.h"

namespace {

// Closes the socket of a sender that is being released.
struct SenderDeleter {
  void operator()(rtp_sender_str* s) const {
    if (s->sock >= 0) close(s->sock);
    std::default_delete<rtp_sender_str>()(s);
  }
};
using SenderPtr = std::unique_ptr<rtp_sender_str, SenderDeleter>;

int build_packet(rtp_sender_str* s, uint32_t ts_inc, int marker, const void* payload, int len,
                 int pt) {
  if (len < 0 || len > RTP_MAX_PAYLOAD || (len > 0 && payload == nullptr)) {
    GW_TRACE("<RTP>bad payload length %d\n\n", len);
    return -1;
  }
  uint8_t* p = s->buff;
  p[0] = 0x80;
  p[1] = static_cast<uint8_t>(((marker & 1) << 7) | (pt & 0x7F));
  const uint16_t sn = htons(s->last_sn);
  const uint32_t ts = htonl(s->last_ts);
  const uint32_t ssrc = htonl(s->ssrc);
  memcpy(p + 2, &sn, sizeof sn);
  memcpy(p + 4, &ts, sizeof ts);
  memcpy(p + 8, &ssrc, sizeof ssrc);
  s->last_sn = static_cast<uint16_t>(s->last_sn + 1);
  s->last_ts += ts_inc;
  if (len > 0) memcpy(p + RTP_HEADER_LEN, payload, static_cast<size_t>(len));
  s->buffLen = len + RTP_HEADER_LEN;
  return 0;
}

int send_packet(rtp_sender_str* s) {
  rtp_targethost_str& t = s->targethosts;
  if (!t.bActive || s->buffLen <= 0) return 0;
  const ssize_t n = sendto(s->sock, s->buff, static_cast<size_t>(s->buffLen), 0,
                           reinterpret_cast<const sockaddr*>(&t.remote_addr), sizeof t.remote_addr);
  if (n == s->buffLen) {
    s->stats.sent_packet += 1;
    s->stats.sent_byte += static_cast<uint32_t>(s->buffLen);
  } else {
    s->stats.sent_error += 1;
    GW_TRACE("<RTP>send packet error. %s %d %d\n", strerror(errno), static_cast<int>(n), s->buffLen);
  }
  return static_cast<int>(n);
}

}  // namespace

int RTP_Sender_Create(RTP_SENDER_S** sender, int pt, int port, S_User* channel) {
  if (sender == nullptr || channel == nullptr) return -1;
  *sender = nullptr;
  SenderPtr s;
  try {
    s.reset(std::make_unique<rtp_sender_str>().release());
  } catch (const std::bad_alloc&) {
    GW_TRACE("create new rtp sender error. not enough memory.\n\n");
    return -1;
  }
  s->sock = -1;
  s->last_ts = RTP_FIRST_TIMESTAMP;
  s->ssrc = RTP_SENDER_SSRC;
  s->pt = pt;
  s->ext_args = channel;
  s->targethosts.sock = -1;

  // The local address: an empty setting binds every interface; anything else
  // must be a dotted IPv4 address.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(channel->audioplayer.nsRcvPort);
  const std::string& ip = gwconfig.localip;
  if (ip.empty()) {
    local.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (inet_pton(AF_INET, ip.c_str(), &local.sin_addr) != 1) {
    GW_TRACE("<RTP>socket bind error.\n\n");
    return -1;
  }

  s->sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s->sock < 0) {
    GW_TRACE("<RTP>create socket error.\n\n");
    return -1;
  }
  int one = 1;
  if (setsockopt(s->sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    GW_TRACE("setsockopt failed!\n\n");
    return -1;
  }
  // -1 asks for the largest receive buffer the system allows.
  int rcvbuf = -1;
  if (setsockopt(s->sock, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf) != 0) {
    GW_TRACE("setsockopt error\n\n");
  }
  if (bind(s->sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    GW_TRACE("<RTP>socket bind error.\n\n");
    return -1;
  }
  s->rtpport = channel->audioplayer.nsRcvPort;
  s->rtcpport = static_cast<uint16_t>(s->rtpport + 1);
  GW_TRACE("<RTP> sender created. port=%d local port=%d\n\n", port, channel->audioplayer.nsRcvPort);
  *sender = s.release();
  return 0;
}

int RTP_Sender_Add(RTP_SENDER_S* sender, const char* ip, uint16_t port) {
  if (sender == nullptr || ip == nullptr) return -1;
  in_addr addr{};
  // Only a dotted IPv4 address of at most 15 characters fits the target.
  if (strnlen(ip, sizeof sender->targethosts.remote_ip) >= sizeof sender->targethosts.remote_ip ||
      inet_pton(AF_INET, ip, &addr) != 1) {
    GW_TRACE("<RTP>bad target address\n\n");
    return -1;
  }
  std::lock_guard<std::mutex> guard(sender->lock);
  rtp_targethost_str& t = sender->targethosts;
  snprintf(t.remote_ip, sizeof t.remote_ip, "%s", ip);
  t.remote_port = port;
  t.remote_addr = sockaddr_in{};
  t.remote_addr.sin_family = AF_INET;
  t.remote_addr.sin_port = htons(port);
  t.remote_addr.sin_addr = addr;
  t.sock = sender->sock;
  t.hostState = RTP_TARGETHOST_STATE_REQ_IFrame;
  t.bActive = true;
  sender->bActive = true;
  return 0;
}

int RTP_Packet(RTP_SENDER_S* sender, uint32_t ts_inc, int marker, const void* payload, int len,
               int pt) {
  if (sender == nullptr) return -1;
  std::lock_guard<std::mutex> guard(sender->lock);
  return build_packet(sender, ts_inc, marker, payload, len, pt);
}

int RTP_Send(RTP_SENDER_S* sender) {
  if (sender == nullptr) return -1;
  std::lock_guard<std::mutex> guard(sender->lock);
  return send_packet(sender);
}

int RTP_Packet_Send(RTP_SENDER_S* sender, uint32_t ts_inc, int marker, const void* payload,
                    int len, int pt) {
  if (sender == nullptr) return -1;
  std::lock_guard<std::mutex> guard(sender->lock);
  if (build_packet(sender, ts_inc, marker, payload, len, pt) != 0) return -1;
  return send_packet(sender);
}

int RTP_Sender_Destroy(RTP_SENDER_S* sender) {
  if (sender == nullptr) return -1;
  SenderPtr owned(sender);
  return 0;
}
