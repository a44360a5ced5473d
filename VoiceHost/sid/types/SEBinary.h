#ifndef SID_TYPES_SEBINARY_H
#define SID_TYPES_SEBINARY_H

#include <cstddef>

// An owned byte buffer; copying copies the bytes (a binary is never shared).
class SEBinary {
public:
  SEBinary() = default;
  SEBinary(const char* bytes, unsigned n) { set(bytes, n); }
  SEBinary(const unsigned char* bytes, unsigned n) { set(reinterpret_cast<const char*>(bytes), n); }
  SEBinary(const SEBinary& other) { set(other.buffer, static_cast<unsigned>(other.len)); }
  SEBinary(SEBinary&& other) noexcept;
  ~SEBinary();

  SEBinary& operator=(const SEBinary& other);
  SEBinary& operator=(SEBinary&& other) noexcept;

  size_t size() const { return len; }
  char* data() { return buffer; }
  const char* data() const { return buffer; }
  operator char*() { return buffer; }
  operator const char*() const { return buffer; }

  // n == size(): no change; 0: frees the buffer; otherwise the size becomes n
  // (bytes beyond the old size are not initialised).
  void resize(size_t n);
  void reserve(size_t n) { resize(n); }
  void set(const char* bytes, unsigned n);
  void set_at_offset(size_t offset, const char* bytes, unsigned n);

  bool operator==(const SEBinary& other) const;
  bool operator!=(const SEBinary& other) const { return !(*this == other); }

private:
  char* buffer = nullptr;
  size_t len = 0;
  size_t cap = 0;  // bytes allocated; a resize within it does not allocate
};

#endif
