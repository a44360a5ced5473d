#ifndef SIMULATOR_STREAMTRANSPORT_H
#define SIMULATOR_STREAMTRANSPORT_H

#include <cstddef>
#include <string>

#include "VoiceHost/sid/protocol/TransportInterface.h"

namespace velsim {

// The read side of a client connection as the binary protocol's transport,
// with a read-ahead buffer that lets the reader look at the next byte and
// skip to the next message start after bad input (the protocol object
// itself does not resynchronise). Where the bytes come from is the
// subclass's fill(): a socket or memory. Writing is not done here: the simulator encodes its
// messages into memory and a writer thread sends them (see ApiWriter).
class StreamTransport : public Sid::TransportInterface {
public:
  // The next byte without consuming it; false when the stream ended.
  bool peek(unsigned char& byte);
  // Discards bytes until the next one is `marker` (left unread); returns
  // how many were dropped through `skipped`. False when the stream ended.
  bool skip_to(unsigned char marker, size_t& skipped);
  // True once a read found the stream ended or broken.
  bool ended() const { return m_ended; }

  Status bl_start_decoding(Sid::CommandInitiator* thread) override;
  Status bl_read_bytes(Sid::CommandInitiator* thread, unsigned num_bytes, char* dest) override;
  Status end_decoding(Sid::CommandInitiator* thread) override;
  Status bl_start_encoding(Sid::CommandInitiator* thread) override;
  Status bl_write_bytes(Sid::CommandInitiator* thread, unsigned num_bytes, const char* src) override;
  Status end_encoding(Sid::CommandInitiator* thread, bool immediate) override;

protected:
  // Reads at least one byte into dst (at most max); 0 when the stream ended.
  virtual size_t fill(char* dst, size_t max) = 0;

private:
  bool more();

  char m_buf[4096];
  size_t m_pos = 0, m_len = 0;
  bool m_ended = false;
};

// A connected stream socket; owns the descriptor. terminate() may come from
// another thread: it shuts the socket down, which ends a blocked read.
class FdTransport : public StreamTransport {
public:
  explicit FdTransport(int fd) : m_fd(fd) {}
  ~FdTransport() override;
  FdTransport(const FdTransport&) = delete;
  FdTransport& operator=(const FdTransport&) = delete;
  Status terminate() override;

protected:
  size_t fill(char* dst, size_t max) override;

private:
  int m_fd;
};

// A stream of bytes held in memory (tests and the fuzz target).
class BytesTransport : public StreamTransport {
public:
  explicit BytesTransport(std::string bytes) : m_bytes(std::move(bytes)) {}
  Status terminate() override;

protected:
  size_t fill(char* dst, size_t max) override;

private:
  std::string m_bytes;
  size_t m_pos = 0;
};

}  // namespace velsim

#endif
