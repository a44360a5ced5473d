// Value coding and the per-kind dispatch tables.
#include "VoiceHost/sid/protocol/BinCommon.h"

#include <algorithm>
#include <cstring>

namespace Sid {
namespace Protocol {

namespace {

// Values whose length prefix promises more than this are read in pieces of
// this size, the destination growing only as the bytes actually arrive: a huge
// prefix from a broken peer fails at the end of its input instead of
// allocating what it promised.
constexpr unsigned READ_CHUNK = 65536;

TransportInterface::Status ok_status = TransportInterface::OK;

}  // namespace

// The functions of the dispatch tables, one per kind.
struct KindFunctions {
  static Status rd_error(BinCommon&, CommandInitiator*, void*, unsigned) { return ERR_DECODE; }
  static Status wr_error(BinCommon&, CommandInitiator*, const void*, unsigned) { return ERR_ENCODE; }
  static Status sk_error(BinCommon&, CommandInitiator*) { return ERR_DECODE; }

  static Status rd_int(BinCommon& p, CommandInitiator* t, void* dest, unsigned)
  {
    return p.rd_value(t, *static_cast<int*>(dest));
  }
  static Status rd_uint(BinCommon& p, CommandInitiator* t, void* dest, unsigned)
  {
    return p.rd_uint(t, *static_cast<uint32_t*>(dest));
  }
  static Status rd_uint64(BinCommon& p, CommandInitiator* t, void* dest, unsigned)
  {
    return p.rd_uint64(t, *static_cast<uint64_t*>(dest));
  }
  static Status rd_string(BinCommon& p, CommandInitiator* t, void* dest, unsigned)
  {
    return p.rd_value(t, *static_cast<SEString*>(dest));
  }
  static Status rd_binary(BinCommon& p, CommandInitiator* t, void* dest, unsigned)
  {
    return p.rd_value(t, *static_cast<SEBinary*>(dest));
  }
  static Status rd_true(BinCommon&, CommandInitiator*, void* dest, unsigned)
  {
    *static_cast<bool*>(dest) = true;
    return OK;
  }
  static Status rd_false(BinCommon&, CommandInitiator*, void* dest, unsigned)
  {
    *static_cast<bool*>(dest) = false;
    return OK;
  }
  static Status rd_list(BinCommon& p, CommandInitiator* t, void* dest, unsigned index)
  {
    const Field& f = p.m_fields[index];
    if (!f.is_list() || f.kind() == Field::KIND_LIST) return ERR_DECODE;
    f.set_field_to_default(dest);
    unsigned char elem_kind = f.kind();
    for (unsigned count = 0;; ++count) {
      unsigned char token;
      if (p.rd_uchar(t, token) != OK) return ERR_DECODE;
      if (token == LIST_END) return OK;
      bool match = token == elem_kind ||
                   (elem_kind == Field::KIND_BOOLEAN && (token == Field::KIND_TRUE || token == Field::KIND_FALSE));
      if (!match) return ERR_DECODE;
      void* element = nullptr;
      f.append(dest, count, element);
      if (!element || p.rd_value(token, t, element, index) != OK) return ERR_DECODE;
    }
  }
  static Status rd_struct(BinCommon& p, CommandInitiator* t, void* dest, unsigned index)
  {
    return p.rd_message(t, dest, p.m_fields[index].get_struct_offset(), nullptr);
  }

  static Status wr_int(BinCommon& p, CommandInitiator* t, const void* src, unsigned)
  {
    return p.wr_uint(t, BinCommon::zigzag(*static_cast<const int32_t*>(src)));
  }
  static Status wr_uint(BinCommon& p, CommandInitiator* t, const void* src, unsigned)
  {
    return p.wr_uint(t, *static_cast<const uint32_t*>(src));
  }
  static Status wr_uint64(BinCommon& p, CommandInitiator* t, const void* src, unsigned)
  {
    return p.wr_value(t, *static_cast<const uint64_t*>(src));
  }
  static Status wr_string(BinCommon& p, CommandInitiator* t, const void* src, unsigned)
  {
    return p.wr_value(t, *static_cast<const SEString*>(src));
  }
  static Status wr_binary(BinCommon& p, CommandInitiator* t, const void* src, unsigned)
  {
    return p.wr_value(t, *static_cast<const SEBinary*>(src));
  }
  static Status wr_nothing(BinCommon&, CommandInitiator*, const void*, unsigned) { return OK; }
  static Status wr_struct(BinCommon& p, CommandInitiator* t, const void* src, unsigned index)
  {
    return p.wr_message(t, src, p.m_fields[index].get_struct_offset(), nullptr);
  }

  static Status sk_varint(BinCommon& p, CommandInitiator* t)
  {
    uint32_t v;
    return p.rd_uint(t, v);
  }
  static Status sk_varint64(BinCommon& p, CommandInitiator* t)
  {
    uint64_t v;
    return p.rd_uint64(t, v);
  }
  static Status sk_bytes(BinCommon& p, CommandInitiator* t)
  {
    uint32_t n;
    if (p.rd_uint(t, n) != OK) return ERR_DECODE;
    return p.rd_bytes(t, n, nullptr);
  }
  static Status sk_nothing(BinCommon&, CommandInitiator*) { return OK; }
  static Status sk_list(BinCommon& p, CommandInitiator* t)
  {
    if (p.m_list_depth >= BinCommon::MAX_LIST_DEPTH) return ERR_DECODE;
    ++p.m_list_depth;
    Status s = OK;
    for (;;) {
      unsigned char token;
      if (p.rd_uchar(t, token) != OK) {
        s = ERR_DECODE;
        break;
      }
      if (token == LIST_END) break;
      if (p.sk_value(token, t) != OK) {
        s = ERR_DECODE;
        break;
      }
    }
    --p.m_list_depth;
    return s;
  }
  static Status sk_struct(BinCommon& p, CommandInitiator* t) { return p.sk_message(t); }
};

namespace {

struct Tables {
  BinCommon::Reader readers[256];
  BinCommon::Writer writers[256];
  BinCommon::Skipper skippers[256];
};

Tables make_tables()
{
  using K = KindFunctions;
  Tables t;
  for (int i = 0; i < 256; ++i) {
    t.readers[i] = &K::rd_error;
    t.writers[i] = &K::wr_error;
    t.skippers[i] = &K::sk_error;
  }
  auto set = [&t](unsigned char kind, BinCommon::Reader r, BinCommon::Writer w, BinCommon::Skipper s) {
    t.readers[kind] = r;
    t.writers[kind] = w;
    t.skippers[kind] = s;
  };
  set(Field::KIND_INT, &K::rd_int, &K::wr_int, &K::sk_varint);
  set(Field::KIND_UINT, &K::rd_uint, &K::wr_uint, &K::sk_varint);
  set(Field::KIND_ENUM, &K::rd_uint, &K::wr_uint, &K::sk_varint);
  set(Field::KIND_OBJECTID, &K::rd_uint, &K::wr_uint, &K::sk_varint);
  set(Field::KIND_UINT64, &K::rd_uint64, &K::wr_uint64, &K::sk_varint64);
  set(Field::KIND_STRING, &K::rd_string, &K::wr_string, &K::sk_bytes);
  set(Field::KIND_XML, &K::rd_string, &K::wr_string, &K::sk_bytes);
  set(Field::KIND_FILENAME, &K::rd_string, &K::wr_string, &K::sk_bytes);
  set(Field::KIND_BINARY, &K::rd_binary, &K::wr_binary, &K::sk_bytes);
  set(Field::KIND_TRUE, &K::rd_true, &K::wr_nothing, &K::sk_nothing);
  set(Field::KIND_FALSE, &K::rd_false, &K::wr_nothing, &K::sk_nothing);
  set(Field::KIND_LIST, &K::rd_list, &K::wr_error, &K::sk_list);
  set(Field::KIND_STRUCT, &K::rd_struct, &K::wr_struct, &K::sk_struct);
  t.skippers[Field::KIND_NULL] = &K::sk_nothing;
  return t;
}

// Filled once, on first use (thread-safe static initialisation), shared by all.
const Tables& shared_tables()
{
  static const Tables tables = make_tables();
  return tables;
}

}  // namespace

BinCommon::BinCommon(void* api, TransportInterface* transport, const Field* descriptors)
    : m_api(api), m_transport(transport), m_fields(descriptors)
{
  const Tables& t = shared_tables();
  m_readers = t.readers;
  m_writers = t.writers;
  m_skippers = t.skippers;
}

BinCommon::~BinCommon() = default;

namespace {

// Replaces one entry of a dispatch table. The shared table is copied into
// `own` the first time, so that only this protocol object sees the change.
template <class Entry>
void replace_entry(std::unique_ptr<Entry[]>& own, const Entry*& table, unsigned char kind, Entry entry)
{
  if (!own) {
    own = std::make_unique<Entry[]>(256);
    std::copy(table, table + 256, own.get());
    table = own.get();
  }
  own[kind] = entry;
}

}  // namespace

void BinCommon::set_reader(unsigned char kind, Reader reader) { replace_entry(m_own_readers, m_readers, kind, reader); }

void BinCommon::set_writer(unsigned char kind, Writer writer) { replace_entry(m_own_writers, m_writers, kind, writer); }

void BinCommon::set_skipper(unsigned char kind, Skipper skipper)
{
  replace_entry(m_own_skippers, m_skippers, kind, skipper);
}

Status BinCommon::rd_value(unsigned char kind, CommandInitiator* thread, void* dest, unsigned index)
{
  return m_readers[kind](*this, thread, dest, index);
}

Status BinCommon::wr_value(unsigned char kind, CommandInitiator* thread, const void* src, unsigned index)
{
  return m_writers[kind](*this, thread, src, index);
}

Status BinCommon::sk_value(unsigned char kind, CommandInitiator* thread)
{
  return m_skippers[kind](*this, thread);
}

// --- bytes ------------------------------------------------------------------

Status BinCommon::rd_bytes(CommandInitiator* thread, unsigned n, char* dest)
{
  if (n == 0) return OK;
  if (m_buffering == 0 && m_buffer.size() != 0) {
    unsigned got = m_buffer.read(dest, n);
    if (got == n) return OK;
    n -= got;
    if (dest) dest += got;
  }
  if (m_buffering > 0) return rd_bytes_copying(thread, n, dest);
  return m_transport->bl_read_bytes(thread, n, dest) == ok_status ? OK : ERR_DECODE;
}

// Reading while an event is being buffered: every byte also goes to the buffer.
Status BinCommon::rd_bytes_copying(CommandInitiator* thread, unsigned n, char* dest)
{
  if (dest) {
    if (m_transport->bl_read_bytes(thread, n, dest) != ok_status) return ERR_DECODE;
    m_buffer.write(dest, n);
    return OK;
  }
  while (n) {
    unsigned chunk = n < READ_CHUNK ? n : READ_CHUNK;
    m_buffer.reserve(chunk);
    char* first;
    char* second;
    unsigned first_len, second_len;
    m_buffer.free_pieces(first, first_len, second, second_len);
    unsigned a = chunk < first_len ? chunk : first_len;
    if (m_transport->bl_read_bytes(thread, a, first) != ok_status) return ERR_DECODE;
    if (chunk > a && m_transport->bl_read_bytes(thread, chunk - a, second) != ok_status) return ERR_DECODE;
    m_buffer.commit(chunk);
    n -= chunk;
  }
  return OK;
}

Status BinCommon::rd_uchar(CommandInitiator* thread, unsigned char& byte)
{
  return rd_bytes(thread, 1, reinterpret_cast<char*>(&byte));
}

Status BinCommon::flush_output(CommandInitiator* thread)
{
  if (m_stage_len == 0) return m_write_failed ? ERR_ENCODE : OK;
  unsigned n = m_stage_len;
  m_stage_len = 0;
  if (m_write_failed) return ERR_ENCODE;
  if (m_transport->bl_write_bytes(thread, n, m_stage) != ok_status) {
    m_write_failed = true;
    return ERR_ENCODE;
  }
  return OK;
}

Status BinCommon::wr_bytes(CommandInitiator* thread, unsigned n, const char* src)
{
  if (m_write_failed) return ERR_ENCODE;
  if (n <= STAGE_SIZE - m_stage_len) {
    memcpy(m_stage + m_stage_len, src, n);
    m_stage_len += n;
    return OK;
  }
  if (flush_output(thread) != OK) return ERR_ENCODE;
  if (n < STAGE_SIZE) {
    memcpy(m_stage, src, n);
    m_stage_len = n;
    return OK;
  }
  if (m_transport->bl_write_bytes(thread, n, src) != ok_status) {
    m_write_failed = true;
    return ERR_ENCODE;
  }
  return OK;
}

Status BinCommon::start_encoding(CommandInitiator* thread)
{
  m_stage_len = 0;
  m_write_failed = false;
  if (m_transport->bl_start_encoding(thread) != ok_status) {
    m_write_failed = true;
    return ERR_ENCODE;
  }
  return OK;
}

// A message is reported as written only when every byte of it was accepted.
Status BinCommon::finish_encoding(CommandInitiator* thread, bool immediate)
{
  Status flushed = flush_output(thread);
  bool ended = m_transport->end_encoding(thread, immediate) == ok_status;
  bool failed = flushed != OK || m_write_failed || !ended;
  m_write_failed = false;
  return failed ? ERR_ENCODE : OK;
}

Status BinCommon::finish_decoding(CommandInitiator* thread)
{
  if (m_buffering < 0) m_buffering = 0;
  if (m_buffering > 0) return OK;  // buffer_events ends the message it copies
  return m_transport->end_decoding(thread) == ok_status ? OK : ERR_DECODE;
}

// --- integers ---------------------------------------------------------------

unsigned BinCommon::encode_uint(char* out, uint32_t value)
{
  unsigned n = 0;
  while (value >= 0x80) {
    out[n++] = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out[n++] = static_cast<char>(value);
  return n;
}

unsigned BinCommon::encode_uint64(char* out, uint64_t value)
{
  unsigned n = 0;
  while (value >= 0x80) {
    out[n++] = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out[n++] = static_cast<char>(value);
  return n;
}

Status BinCommon::rd_uint(CommandInitiator* thread, uint32_t& value)
{
  uint32_t v = 0;
  for (unsigned i = 0; i < 5; ++i) {
    unsigned char b;
    if (rd_uchar(thread, b) != OK) return ERR_DECODE;
    if (i == 4) {
      if (b & 0xF0) return ERR_DECODE;
      value = v | (static_cast<uint32_t>(b) << 28);
      return OK;
    }
    v |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) {
      value = v;
      return OK;
    }
  }
  return ERR_DECODE;
}

Status BinCommon::rd_uint64(CommandInitiator* thread, uint64_t& value)
{
  uint64_t v = 0;
  for (unsigned i = 0; i < 10; ++i) {
    unsigned char b;
    if (rd_uchar(thread, b) != OK) return ERR_DECODE;
    if (i == 9) {
      if (b > 1) return ERR_DECODE;
      value = v | (static_cast<uint64_t>(b) << 63);
      return OK;
    }
    v |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) {
      value = v;
      return OK;
    }
  }
  return ERR_DECODE;
}

Status BinCommon::wr_uint(CommandInitiator* thread, uint32_t value)
{
  char buf[5];
  return wr_bytes(thread, encode_uint(buf, value), buf);
}

// --- typed values -----------------------------------------------------------

Status BinCommon::wr_value(CommandInitiator* thread, unsigned value) { return wr_uint(thread, value); }

Status BinCommon::wr_value(CommandInitiator* thread, int value) { return wr_uint(thread, zigzag(value)); }

Status BinCommon::wr_value(CommandInitiator* thread, uint64_t value)
{
  char buf[10];
  return wr_bytes(thread, encode_uint64(buf, value), buf);
}

Status BinCommon::wr_value(CommandInitiator* thread, const SEString& value)
{
  uint32_t n = static_cast<uint32_t>(value.length());
  if (wr_uint(thread, n) != OK) return ERR_ENCODE;
  return n ? wr_bytes(thread, n, value.data()) : OK;
}

Status BinCommon::wr_value(CommandInitiator* thread, const SEFilename& value)
{
  return wr_value(thread, static_cast<const SEString&>(value));
}

Status BinCommon::wr_value(CommandInitiator* thread, const SEBinary& value)
{
  uint32_t n = static_cast<uint32_t>(value.size());
  if (wr_uint(thread, n) != OK) return ERR_ENCODE;
  return n ? wr_bytes(thread, n, value.data()) : OK;
}

Status BinCommon::rd_value(CommandInitiator* thread, unsigned& value) { return rd_uint(thread, value); }

Status BinCommon::rd_value(CommandInitiator* thread, int& value)
{
  uint32_t u;
  if (rd_uint(thread, u) != OK) return ERR_DECODE;
  value = unzigzag(u);
  return OK;
}

Status BinCommon::rd_value(CommandInitiator* thread, uint64_t& value) { return rd_uint64(thread, value); }

Status BinCommon::rd_value(CommandInitiator* thread, SEString& value)
{
  uint32_t count;
  if (rd_uint(thread, count) != OK || count == 0) {
    value = SEString();
    return count == 0 ? OK : ERR_DECODE;
  }
  // Reuse the destination's buffer when it owns one that is big enough.
  unsigned have = 0;
  unsigned capacity = count < READ_CHUNK ? count : READ_CHUNK;
  char* buf = value.prepare(capacity);
  while (have < count) {
    unsigned step = count - have;
    if (step > READ_CHUNK) step = READ_CHUNK;
    if (have + step > capacity) {
      unsigned long long grown = static_cast<unsigned long long>(capacity) * 2;
      capacity = grown > count ? count : static_cast<unsigned>(grown);
      if (capacity < have + step) capacity = have + step;
      buf = value.raw_buffer(capacity);
    }
    if (rd_bytes(thread, step, buf + have) != OK) {
      value = SEString();
      return ERR_DECODE;
    }
    have += step;
    buf[have] = '\0';
  }
  return OK;
}

Status BinCommon::rd_value(CommandInitiator* thread, SEFilename& value)
{
  return rd_value(thread, static_cast<SEString&>(value));
}

Status BinCommon::rd_value(CommandInitiator* thread, SEBinary& value)
{
  uint32_t count;
  if (rd_uint(thread, count) != OK) return ERR_DECODE;
  if (count == 0) {
    value.resize(0);
    return OK;
  }
  unsigned have = 0;
  while (have < count) {
    unsigned step = count - have;
    if (step > READ_CHUNK) step = READ_CHUNK;
    value.resize(have + step);
    if (rd_bytes(thread, step, value.data() + have) != OK) {
      value.resize(0);
      return ERR_DECODE;
    }
    have += step;
  }
  return OK;
}

}  // namespace Protocol
}  // namespace Sid
