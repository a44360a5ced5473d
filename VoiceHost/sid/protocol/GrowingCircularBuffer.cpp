#include "VoiceHost/sid/protocol/GrowingCircularBuffer.h"

#include <cstring>

namespace Sid {
namespace Protocol {

GrowingCircularBuffer::GrowingCircularBuffer()
    : m_buffer(std::make_unique<char[]>(MIN_CAPACITY)), m_buffer_mask(MIN_CAPACITY - 1)
{
}

void GrowingCircularBuffer::grow_to(unsigned capacity)
{
  auto grown = std::make_unique<char[]>(capacity);
  unsigned held = m_size;
  unsigned first = m_buffer_mask + 1 - m_rd_ptr;
  if (first > held) first = held;
  memcpy(grown.get(), m_buffer.get() + m_rd_ptr, first);
  memcpy(grown.get() + first, m_buffer.get(), held - first);
  m_buffer = std::move(grown);
  m_buffer_mask = capacity - 1;
  m_rd_ptr = 0;
  m_wr_ptr = held & m_buffer_mask;
}

void GrowingCircularBuffer::shrink_if_drained()
{
  if (m_size != 0) return;
  m_rd_ptr = m_wr_ptr = 0;
  if (capacity() > MIN_CAPACITY) {
    m_buffer = std::make_unique<char[]>(MIN_CAPACITY);
    m_buffer_mask = MIN_CAPACITY - 1;
  }
}

void GrowingCircularBuffer::write(char c)
{
  if (m_size == capacity()) grow_to(capacity() * 2);
  m_buffer[m_wr_ptr] = c;
  m_wr_ptr = (m_wr_ptr + 1) & m_buffer_mask;
  ++m_size;
}

void GrowingCircularBuffer::reserve(unsigned n)
{
  unsigned long long needed = static_cast<unsigned long long>(m_size) + n;
  if (needed <= capacity()) return;
  unsigned long long grown = capacity();
  while (grown < needed) grown *= 2;
  grow_to(static_cast<unsigned>(grown));
}

void GrowingCircularBuffer::free_pieces(char*& first, unsigned& first_len, char*& second, unsigned& second_len)
{
  unsigned cap = capacity();
  first = m_buffer.get() + m_wr_ptr;
  second = m_buffer.get();
  if (m_size == cap) {
    first_len = second_len = 0;
  } else if (m_wr_ptr >= m_rd_ptr) {
    first_len = cap - m_wr_ptr;
    second_len = m_rd_ptr;
  } else {
    first_len = m_rd_ptr - m_wr_ptr;
    second_len = 0;
  }
}

void GrowingCircularBuffer::commit(unsigned n)
{
  m_wr_ptr = (m_wr_ptr + n) & m_buffer_mask;
  m_size += n;
}

void GrowingCircularBuffer::write(const char* src, unsigned n)
{
  reserve(n);
  char* first;
  char* second;
  unsigned first_len, second_len;
  free_pieces(first, first_len, second, second_len);
  unsigned a = n < first_len ? n : first_len;
  memcpy(first, src, a);
  memcpy(second, src + a, n - a);
  commit(n);
}

bool GrowingCircularBuffer::read(char& c)
{
  if (m_size == 0) return false;
  c = m_buffer[m_rd_ptr];
  m_rd_ptr = (m_rd_ptr + 1) & m_buffer_mask;
  --m_size;
  shrink_if_drained();
  return true;
}

unsigned GrowingCircularBuffer::read(char* dest, unsigned n)
{
  if (n > m_size) n = m_size;
  if (n == 0) return 0;
  unsigned first = capacity() - m_rd_ptr;
  if (first > n) first = n;
  if (dest) {
    memcpy(dest, m_buffer.get() + m_rd_ptr, first);
    memcpy(dest + first, m_buffer.get(), n - first);
  }
  m_rd_ptr = (m_rd_ptr + n) & m_buffer_mask;
  m_size -= n;
  shrink_if_drained();
  return n;
}

void GrowingCircularBuffer::truncate(unsigned n)
{
  if (n >= m_size) return;
  unsigned drop = m_size - n;
  m_wr_ptr = (m_wr_ptr - drop) & m_buffer_mask;
  m_size = n;
  shrink_if_drained();
}

}  // namespace Protocol
}  // namespace Sid
