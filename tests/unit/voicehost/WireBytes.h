#ifndef TESTS_UNIT_VOICEHOST_WIREBYTES_H
#define TESTS_UNIT_VOICEHOST_WIREBYTES_H

// Byte builders for the voice interface's messages, written out by hand so
// that the tests state the wire format independently of the encoder.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vhtest {

using Bytes = std::vector<unsigned char>;

inline void put(Bytes& b, std::initializer_list<unsigned> bytes) {
  for (unsigned x : bytes) b.push_back(static_cast<unsigned char>(x));
}
inline void varint(Bytes& b, uint32_t v) {
  while (v >= 0x80) {
    b.push_back(static_cast<unsigned char>(v | 0x80));
    v >>= 7;
  }
  b.push_back(static_cast<unsigned char>(v));
}
inline void field_i(Bytes& b, unsigned tag, int32_t v) {
  b.push_back('i');
  varint(b, tag);
  varint(b, (static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31));
}
inline void field_u(Bytes& b, unsigned tag, uint32_t v) {
  b.push_back('u');
  varint(b, tag);
  varint(b, v);
}
inline void field_s(Bytes& b, unsigned tag, const std::string& s, unsigned char kind = 'S') {
  b.push_back(kind);
  varint(b, tag);
  varint(b, static_cast<uint32_t>(s.size()));
  b.insert(b.end(), s.begin(), s.end());
}
inline void field_b(Bytes& b, unsigned tag, const Bytes& data) {
  b.push_back('B');
  varint(b, tag);
  varint(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
}
// 'Z' 'R' module method rid; the caller adds the parameters and 'z'.
inline Bytes call(unsigned method, uint32_t rid, unsigned module = 0) {
  Bytes b{'Z', 'R'};
  varint(b, module);
  varint(b, method);
  varint(b, rid);
  return b;
}
inline Bytes response(uint32_t rid) {
  Bytes b{'Z', 'r'};
  varint(b, rid);
  return b;
}
inline Bytes error_response(uint32_t rid) {
  Bytes b = response(rid);
  put(b, {'N', 'z'});
  return b;
}

inline std::string hex(const Bytes& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : b) {
    s += d[c >> 4];
    s += d[c & 15];
    s += ' ';
  }
  return s;
}

}  // namespace vhtest

#endif
