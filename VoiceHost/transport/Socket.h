#ifndef VOICEHOST_TRANSPORT_SOCKET_H
#define VOICEHOST_TRANSPORT_SOCKET_H

#include <sys/types.h>

#include <cstddef>
#include <memory>

namespace Sid {

// A local stream connection of the voice interface, named by a text key.
// In server mode Connect waits for exactly one peer; in client mode it
// connects to a peer that listens under the key.
//
// Disconnect may be called from any thread, also while another thread is
// blocked in Connect, Read, Write or a poll of this socket: it wakes that
// thread, which then fails.
class Socket {
public:
  virtual bool Connect(const char* key, bool server_mode, int timeout_ms) = 0;
  virtual void Disconnect() = 0;
  virtual bool IsConnected() = 0;
  // One read or write call; the result of read(2)/write(2).
  virtual ssize_t Write(const void* buf, size_t count) = 0;
  virtual ssize_t Read(void* buf, size_t count) = 0;
  // Wait without limit until the socket is readable / writable; false on
  // error or hang-up.
  virtual bool PollRead() = 0;
  virtual bool PollWrite() = 0;
  virtual ~Socket() = default;
};

// The socket type of this platform: a Unix-domain socket in the abstract namespace.
std::unique_ptr<Socket> GetSocket();

}  // namespace Sid

#endif
