#ifndef SID_PROTOCOL_GROWINGCIRCULARBUFFER_H
#define SID_PROTOCOL_GROWINGCIRCULARBUFFER_H

#include <memory>

namespace Sid {
namespace Protocol {

// A byte ring whose capacity is a power of two, never below 512. It doubles
// when a byte is written into a full buffer, grows to fit a reservation, and
// returns to 512 bytes when a read drains it.
class GrowingCircularBuffer {
public:
  static constexpr unsigned MIN_CAPACITY = 512;

  GrowingCircularBuffer();

  unsigned size() const { return m_size; }
  unsigned capacity() const { return m_buffer_mask + 1; }

  void write(char c);
  void write(const char* src, unsigned n);
  // Makes room for n more bytes without moving the write position.
  void reserve(unsigned n);
  // The free space after the write position, in at most two pieces (after
  // reserve(n), their total is at least n). commit(n) marks n of them written.
  void free_pieces(char*& first, unsigned& first_len, char*& second, unsigned& second_len);
  void commit(unsigned n);

  bool read(char& c);
  // Reads at most n bytes (a null dest discards them); returns the count.
  unsigned read(char* dest, unsigned n);
  // Drops the most recently written bytes so that size() becomes n.
  void truncate(unsigned n);

private:
  void grow_to(unsigned capacity);
  void shrink_if_drained();

  std::unique_ptr<char[]> m_buffer;
  unsigned m_buffer_mask;
  unsigned m_size = 0;
  unsigned m_rd_ptr = 0;
  unsigned m_wr_ptr = 0;
};

}  // namespace Protocol
}  // namespace Sid

#endif
