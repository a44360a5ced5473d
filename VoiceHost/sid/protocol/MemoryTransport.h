#ifndef SID_PROTOCOL_MEMORYTRANSPORT_H
#define SID_PROTOCOL_MEMORYTRANSPORT_H

#include <cstddef>
#include <string>
#include <vector>

#include "VoiceHost/sid/protocol/TransportInterface.h"

namespace Sid {

// An in-process transport for tests and benchmarks, used from one thread.
// Incoming bytes are fed in (or written by a linked peer); a read of more
// than is held fails with ERR_READ and consumes nothing. Written bytes are
// collected in output() or, when linked, go straight to the peer's input.
// Storage is reused, so a steady exchange of messages does not allocate.
class MemoryTransport : public TransportInterface {
public:
  MemoryTransport() = default;

  // Connects two transports both ways.
  static void link(MemoryTransport& a, MemoryTransport& b);

  void feed(const void* bytes, size_t n);
  void feed(const std::string& bytes) { feed(bytes.data(), bytes.size()); }
  size_t available() const { return m_in.size() - m_in_pos; }
  void clear_input();

  const std::vector<char>& output() const { return m_out; }
  std::string output_string() const { return std::string(m_out.begin(), m_out.end()); }
  void clear_output() { m_out.clear(); }

  // After this many more bytes, writes fail with ERR_WRITE (-1: never).
  void fail_writes_after(long bytes) { m_write_budget = bytes; }
  // end_encoding returns ERR_WRITE while set.
  void fail_end_encoding(bool fail) { m_fail_end_encoding = fail; }

  // What the protocol did with the transport.
  struct Counters {
    unsigned start_decoding = 0, end_decoding = 0, end_decoding_with_error = 0;
    unsigned start_encoding = 0, end_encoding = 0;
    bool last_immediate = false;
  };
  const Counters& counters() const { return m_counters; }
  bool terminated() const { return m_terminated; }

  Status bl_start_decoding(CommandInitiator* thread) override;
  Status bl_read_bytes(CommandInitiator* thread, unsigned num_bytes, char* dest) override;
  Status end_decoding(CommandInitiator* thread) override;
  Status end_decoding_with_error(CommandInitiator* thread) override;
  Status bl_start_encoding(CommandInitiator* thread) override;
  Status bl_write_bytes(CommandInitiator* thread, unsigned num_bytes, const char* src) override;
  Status end_encoding(CommandInitiator* thread, bool immediate) override;
  Status terminate() override;

private:
  std::vector<char> m_in;
  size_t m_in_pos = 0;
  std::vector<char> m_out;
  MemoryTransport* m_peer = nullptr;
  long m_write_budget = -1;
  bool m_fail_end_encoding = false;
  bool m_terminated = false;
  Counters m_counters;
};

}  // namespace Sid

#endif
