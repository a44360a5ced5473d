#ifndef VELMORA_TESTS_UNIT_RTP_TEST_UTIL_H
#define VELMORA_TESTS_UNIT_RTP_TEST_UTIL_H

// Small helpers for the RTP tests: a UDP peer on 127.0.0.1 with an ephemeral
// port, and reading a socket's bound port.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

inline uint16_t bound_port(int sock) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(sock, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A UDP socket on 127.0.0.1 with a port of the system's choosing.
class UdpPeer {
public:
  UdpPeer() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    port_ = bound_port(fd_);
  }
  ~UdpPeer() { close(fd_); }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  int fd() const { return fd_; }
  uint16_t port() const { return port_; }

  // One datagram, or an empty vector when none arrives within `ms`.
  std::vector<uint8_t> receive(int ms = 1000, uint16_t* from_port = nullptr) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) != 1) return {};
    std::vector<uint8_t> buf(2048);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return {};
    if (from_port) *from_port = ntohs(from.sin_port);
    buf.resize(static_cast<size_t>(n));
    return buf;
  }

  bool send_to(uint16_t port, const void* data, size_t len) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return sendto(fd_, data, len, 0, reinterpret_cast<sockaddr*>(&a), sizeof a) == static_cast<ssize_t>(len);
  }

private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

#endif
