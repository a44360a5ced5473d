#ifndef SID_PROTOCOL_SOCKETPAIRTRANSPORT_H
#define SID_PROTOCOL_SOCKETPAIRTRANSPORT_H

#include <atomic>
#include <memory>
#include <vector>

#include "VoiceHost/sid/protocol/TransportInterface.h"

namespace Sid {

// A transport over one end of a connected stream socket (made by
// socketpair(2) for tests, or any connected descriptor). Reads block until the
// bytes arrive (or the read timeout passes, or the peer closes); an outgoing
// message is collected and sent with one write when it is complete. One
// thread may read while another writes.
class SocketPairTransport : public TransportInterface {
public:
  // Takes ownership of fd.
  explicit SocketPairTransport(int fd);
  ~SocketPairTransport() override;
  SocketPairTransport(const SocketPairTransport&) = delete;
  SocketPairTransport& operator=(const SocketPairTransport&) = delete;

  // Two transports connected to each other; false when socketpair fails.
  static bool make_pair(std::unique_ptr<SocketPairTransport>& a, std::unique_ptr<SocketPairTransport>& b);

  // A read waits at most this long for data (-1: without limit, the default).
  void set_read_timeout_ms(int ms) { m_timeout_ms = ms; }
  int fd() const { return m_fd; }

  Status bl_start_decoding(CommandInitiator* thread) override;
  Status bl_read_bytes(CommandInitiator* thread, unsigned num_bytes, char* dest) override;
  Status end_decoding(CommandInitiator* thread) override;
  Status bl_start_encoding(CommandInitiator* thread) override;
  Status bl_write_bytes(CommandInitiator* thread, unsigned num_bytes, const char* src) override;
  Status end_encoding(CommandInitiator* thread, bool immediate) override;
  Status terminate() override;

private:
  bool fill();

  // terminate() only shuts the socket down (which wakes a waiting reader on
  // another thread); the descriptor is closed by the destructor.
  int m_fd;
  std::atomic<bool> m_closed{false};
  int m_timeout_ms = -1;
  std::vector<char> m_out;
  char m_in[4096];
  unsigned m_in_pos = 0;
  unsigned m_in_len = 0;
};

}  // namespace Sid

#endif
