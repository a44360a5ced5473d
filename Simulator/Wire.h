#ifndef SIMULATOR_WIRE_H
#define SIMULATOR_WIRE_H

// The runtime side of the binary client protocol, as a small self-contained
// codec: messages the simulator writes are assembled in memory and queued
// whole; messages it reads are decoded from a byte source into a generic
// tree of fields, with the limits of the protocol (nesting, tag order,
// varint width) and caps on sizes, so bad input from a peer is refused
// instead of trusted.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velsim::wire {

// Kind bytes and markers of the protocol.
enum : uint8_t {
  K_INT = 'i', K_UINT = 'u', K_ENUM = 'e', K_OID = 'O', K_UINT64 = 'U',
  K_STRING = 'S', K_XML = 'X', K_FILENAME = 'f', K_BINARY = 'B',
  K_TRUE = 'T', K_FALSE = 'F', K_LIST = '[', K_STRUCT = '{', K_NULL = 'N',
  M_END = 'z', M_LIST_END = ']', M_COMMA = ','
};

enum class Status { Ok, Decode, Call, Io };

const char* status_name(Status s);

// One decoded field. Numbers of every numeric kind land in `num`; strings
// and binaries in `str`; list elements and struct fields in `items`.
struct Field {
  uint32_t tag = 0;
  uint8_t kind = 0;
  uint64_t num = 0;
  std::string str;
  std::vector<Field> items;
};

struct Message {
  std::vector<Field> fields;

  const Field* get(uint32_t tag) const;
  uint32_t u(uint32_t tag, uint32_t def = 0) const;
  int32_t i(uint32_t tag, int32_t def = 0) const;
  bool b(uint32_t tag, bool def = false) const;
  std::string s(uint32_t tag) const;
  std::vector<uint32_t> u_list(uint32_t tag) const;
  std::string describe() const;  // short text for the event log
};

// Builds one message in memory.
class Writer {
public:
  // With omit_defaults, fields equal to their natural default (0, false,
  // empty) are left out, as the API encoder does; the voice interface
  // writes every field.
  explicit Writer(bool omit_defaults = true) : m_omit(omit_defaults) {}

  Writer& raw(uint8_t byte);
  Writer& raw(const char* text);
  Writer& varint(uint64_t v);
  Writer& zigzag(int32_t v);
  Writer& blob(const void* data, size_t n);  // count then bytes

  Writer& u(uint32_t tag, uint32_t v) { return number(K_UINT, tag, v); }
  Writer& e(uint32_t tag, uint32_t v) { return number(K_ENUM, tag, v); }
  Writer& o(uint32_t tag, uint32_t v) { return number(K_OID, tag, v); }
  Writer& i(uint32_t tag, int32_t v);
  Writer& s(uint32_t tag, const std::string& v) { return text(K_STRING, tag, v); }
  Writer& x(uint32_t tag, const std::string& v) { return text(K_XML, tag, v); }
  Writer& bin(uint32_t tag, const void* data, size_t n);
  Writer& b(uint32_t tag, bool v);
  Writer& o_list(uint32_t tag, const std::vector<uint32_t>& oids);
  Writer& end() { return raw(M_END); }

  const std::string& bytes() const { return m_out; }
  std::string take() { return std::move(m_out); }

private:
  Writer& number(uint8_t kind, uint32_t tag, uint32_t v);
  Writer& text(uint8_t kind, uint32_t tag, const std::string& v);

  bool m_omit;
  std::string m_out;
};

// Where decoded bytes come from.
class Source {
public:
  virtual ~Source() = default;
  // Exactly n bytes into dst; false when the stream failed first.
  virtual bool read(void* dst, size_t n) = 0;
};

// Reads a std::string (tests and in-memory decoding).
class StringSource : public Source {
public:
  explicit StringSource(std::string data) : m_data(std::move(data)) {}
  bool read(void* dst, size_t n) override;
  size_t remaining() const { return m_data.size() - m_pos; }

private:
  std::string m_data;
  size_t m_pos = 0;
};

struct Limits {
  static constexpr int kMaxDepth = 10;
  static constexpr size_t kMaxString = 1 << 20;
  static constexpr size_t kMaxItems = 4096;
  static constexpr size_t kMaxFields = 256;
};

class Reader {
public:
  explicit Reader(Source& src) : m_src(src) {}

  Status byte(uint8_t& b);
  Status u32(uint32_t& v);
  Status u64(uint64_t& v);
  // A parameter message up to and including its 'z'. 'N' in the place of a
  // field gives Status::Call (the error form).
  Status message(Message& out) { return message(out.fields, 0); }
  // A property request body after "ZG": (module, object, property) triples.
  struct PropRef {
    uint32_t module, oid, prop;
  };
  Status property_request(std::vector<PropRef>& out);
  // Scans forward to the next 'Z' (resynchronisation after bad input);
  // the 'Z' is consumed. False when the stream ended.
  bool resync();

private:
  Status message(std::vector<Field>& out, int depth);
  Status value(uint8_t kind, Field& f, int depth);
  Status blob(std::string& out);

  Source& m_src;
};

}  // namespace velsim::wire

#endif
