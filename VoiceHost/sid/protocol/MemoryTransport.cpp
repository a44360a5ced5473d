#include "VoiceHost/sid/protocol/MemoryTransport.h"

#include <cstring>

namespace Sid {

void MemoryTransport::link(MemoryTransport& a, MemoryTransport& b)
{
  a.m_peer = &b;
  b.m_peer = &a;
}

void MemoryTransport::feed(const void* bytes, size_t n)
{
  const char* p = static_cast<const char*>(bytes);
  m_in.insert(m_in.end(), p, p + n);
}

void MemoryTransport::clear_input()
{
  m_in.clear();
  m_in_pos = 0;
}

TransportInterface::Status MemoryTransport::bl_start_decoding(CommandInitiator*)
{
  ++m_counters.start_decoding;
  return m_terminated ? ERR_CONNECTION : OK;
}

TransportInterface::Status MemoryTransport::bl_read_bytes(CommandInitiator*, unsigned num_bytes, char* dest)
{
  if (m_terminated) return ERR_CONNECTION;
  if (num_bytes > available()) return ERR_READ;
  if (dest) memcpy(dest, m_in.data() + m_in_pos, num_bytes);
  m_in_pos += num_bytes;
  if (m_in_pos == m_in.size()) clear_input();  // keeps the capacity
  return OK;
}

TransportInterface::Status MemoryTransport::end_decoding(CommandInitiator*)
{
  ++m_counters.end_decoding;
  return m_terminated ? ERR_CONNECTION : OK;
}

TransportInterface::Status MemoryTransport::end_decoding_with_error(CommandInitiator*)
{
  ++m_counters.end_decoding_with_error;
  return m_terminated ? ERR_CONNECTION : OK;
}

TransportInterface::Status MemoryTransport::bl_start_encoding(CommandInitiator*)
{
  ++m_counters.start_encoding;
  return m_terminated ? ERR_CONNECTION : OK;
}

TransportInterface::Status MemoryTransport::bl_write_bytes(CommandInitiator*, unsigned num_bytes, const char* src)
{
  if (m_terminated) return ERR_CONNECTION;
  if (m_write_budget >= 0) {
    if (static_cast<long>(num_bytes) > m_write_budget) {
      m_write_budget = 0;
      return ERR_WRITE;
    }
    m_write_budget -= num_bytes;
  }
  if (m_peer) {
    m_peer->feed(src, num_bytes);
  } else {
    m_out.insert(m_out.end(), src, src + num_bytes);
  }
  return OK;
}

TransportInterface::Status MemoryTransport::end_encoding(CommandInitiator*, bool immediate)
{
  ++m_counters.end_encoding;
  m_counters.last_immediate = immediate;
  if (m_terminated) return ERR_CONNECTION;
  return m_fail_end_encoding ? ERR_WRITE : OK;
}

TransportInterface::Status MemoryTransport::terminate()
{
  m_terminated = true;
  return OK;
}

}  // namespace Sid
