#ifndef TESTS_UNIT_VOICEHOST_SOCKETTESTUTIL_H
#define TESTS_UNIT_VOICEHOST_SOCKETTESTUTIL_H

// Helpers shared by the voice host tests: unique abstract socket keys and a
// raw peer that builds its address the way the Skype runtime does.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace vhtest {

// A key no other test (of this or another process) uses, padded to `len`
// characters when `len` is given.
inline std::string unique_key(const std::string& tag, size_t len = 0) {
  static std::atomic<int> counter{0};
  std::string key = "/vhtest-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "/" + tag;
  if (len > key.size()) key.append(len - key.size(), 'k');
  return key;
}

// The runtime's way of naming the socket: the whole address structure, name from byte 1.
inline sockaddr_un peer_address(const std::string& key) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  memcpy(a.sun_path + 1, key.data(), std::min(key.size(), sizeof a.sun_path - 1));
  return a;
}

// Connects to `key` (retrying for up to two seconds while nobody listens); -1 on failure.
inline int peer_connect(const std::string& key, socklen_t len = sizeof(sockaddr_un)) {
  sockaddr_un a = peer_address(key);
  for (int i = 0; i < 200; ++i) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0) return fd;
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

// A peer that listens under `key` the way the runtime does for its callback.
inline int peer_listen(const std::string& key) {
  sockaddr_un a = peer_address(key);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline bool write_all(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Reads exactly n bytes, waiting at most timeout_ms for each piece.
inline std::vector<unsigned char> read_exact(int fd, size_t n, int timeout_ms = 5000) {
  std::vector<unsigned char> out;
  out.reserve(n);
  unsigned char buf[4096];
  while (out.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) break;
    size_t want = std::min(sizeof buf, n - out.size());
    ssize_t r = read(fd, buf, want);
    if (r <= 0) break;
    out.insert(out.end(), buf, buf + r);
  }
  return out;
}

// Whatever arrives within `wait_ms`.
inline std::vector<unsigned char> read_available(int fd, int wait_ms) {
  std::vector<unsigned char> out;
  unsigned char buf[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) break;
    ssize_t r = read(fd, buf, sizeof buf);
    if (r <= 0) break;
    out.insert(out.end(), buf, buf + r);
  }
  return out;
}

inline size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace vhtest

#endif
