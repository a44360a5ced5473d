// Parameter messages: writing, reading with defaults and skipping, and the
// messages with pre-encoded headers.
#include <cstring>

#include "VoiceHost/sid/protocol/BinCommon.h"

namespace Sid {
namespace Protocol {

// The parameters of a message given as pointers, one per field in descriptor
// order: from an array or from a va_list of void*.
struct BinCommon::ParamList {
  const void* const* array = nullptr;
  va_list* ap = nullptr;
  unsigned pos = 0;

  void* next()
  {
    if (array) return const_cast<void*>(array[pos++]);
    return va_arg(*ap, void*);
  }
};

namespace {

// 'N' where a field should start: the peer answered with an error.
Status null_marker(BinCommon& p, CommandInitiator* thread)
{
  unsigned char end;
  return p.rd_uchar(thread, end) == OK ? ERR_CALL : ERR_DECODE;
}

bool kind_matches(const Field& f, unsigned char token)
{
  if (f.is_list()) return token == Field::KIND_LIST;
  if (f.kind() == Field::KIND_BOOLEAN) return token == Field::KIND_TRUE || token == Field::KIND_FALSE;
  return token == f.kind();
}

// Keeps m_depth in step with the nesting of the message being decoded.
class DepthGuard {
public:
  explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
  ~DepthGuard() { --m_depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

private:
  int& m_depth;
};

}  // namespace

// --- writing ----------------------------------------------------------------

Status BinCommon::wr_field(CommandInitiator* thread, const Field& f, unsigned index, const void* value,
                           unsigned tag)
{
  char hdr[16];
  unsigned n;
  unsigned char kind = f.kind();
  if (f.is_list()) {
    hdr[0] = static_cast<char>(Field::KIND_LIST);
    n = 1 + encode_uint(hdr + 1, tag);
    if (wr_bytes(thread, n, hdr) != OK) return ERR_ENCODE;
    for (unsigned i = 0;; ++i) {
      const void* element = f.iterate(value, i);
      if (!element) break;
      if (kind == Field::KIND_BOOLEAN) {
        char c = *static_cast<const bool*>(element) ? 'T' : 'F';
        if (wr_bytes(thread, 1, &c) != OK) return ERR_ENCODE;
        continue;
      }
      char k = static_cast<char>(kind);
      if (wr_bytes(thread, 1, &k) != OK) return ERR_ENCODE;
      if (m_writers[kind](*this, thread, element, index) != OK) return ERR_ENCODE;
    }
    char end = static_cast<char>(LIST_END);
    return wr_bytes(thread, 1, &end) == OK ? OK : ERR_ENCODE;
  }
  if (kind == Field::KIND_BOOLEAN) {
    hdr[0] = *static_cast<const bool*>(value) ? 'T' : 'F';
    n = 1 + encode_uint(hdr + 1, tag);
    return wr_bytes(thread, n, hdr);
  }
  hdr[0] = static_cast<char>(kind);
  n = 1 + encode_uint(hdr + 1, tag);
  // Integers go out with their kind and tag in one piece.
  switch (kind) {
  case Field::KIND_INT:
    n += encode_uint(hdr + n, zigzag(*static_cast<const int32_t*>(value)));
    return wr_bytes(thread, n, hdr);
  case Field::KIND_UINT:
  case Field::KIND_ENUM:
    n += encode_uint(hdr + n, *static_cast<const uint32_t*>(value));
    return wr_bytes(thread, n, hdr);
  case Field::KIND_UINT64:
    n += encode_uint64(hdr + n, *static_cast<const uint64_t*>(value));
    return wr_bytes(thread, n, hdr);
  default:
    break;
  }
  if (wr_bytes(thread, n, hdr) != OK) return ERR_ENCODE;
  return m_writers[kind](*this, thread, value, index);
}

Status BinCommon::wr_message(CommandInitiator* thread, const void* record, unsigned descriptor, ParamList* params)
{
  unsigned end = m_fields[descriptor].get_end();
  for (unsigned idx = descriptor; idx < end; idx = m_fields[idx].next_index(idx)) {
    const Field& f = m_fields[idx];
    const void* value = params ? params->next() : f.offset(record);
    if (f.field_equals_default(value)) continue;
    if (wr_field(thread, f, idx, value, f.get_tag()) != OK) return ERR_ENCODE;
  }
  char z = static_cast<char>(MSG_END);
  return wr_bytes(thread, 1, &z);
}

Status BinCommon::wr_parms_with(CommandInitiator* thread, const void* record, unsigned descriptor,
                                ParamList* params, bool immediate)
{
  if (wr_message(thread, record, descriptor, params) != OK) {
    finish_encoding(thread, false);
    return ERR_ENCODE;
  }
  return finish_encoding(thread, immediate);
}

Status BinCommon::wr_parms(CommandInitiator* thread, const void* record, unsigned descriptor, bool immediate)
{
  return wr_parms_with(thread, record, descriptor, nullptr, immediate);
}

Status BinCommon::wr_parms_lst(CommandInitiator* thread, unsigned descriptor, bool immediate,
                               const void* const* pointers)
{
  ParamList params;
  params.array = pointers;
  return wr_parms_with(thread, nullptr, descriptor, &params, immediate);
}

Status BinCommon::wr_parms_vlst(CommandInitiator* thread, unsigned descriptor, bool immediate, va_list pointers)
{
  va_list ap;
  va_copy(ap, pointers);
  ParamList params;
  params.ap = &ap;
  Status s = wr_parms_with(thread, nullptr, descriptor, &params, immediate);
  va_end(ap);
  return s;
}

Status BinCommon::wr_parms(CommandInitiator* thread, bool immediate)
{
  char z = static_cast<char>(MSG_END);
  if (wr_bytes(thread, 1, &z) != OK) {
    finish_encoding(thread, false);
    return ERR_ENCODE;
  }
  return finish_encoding(thread, immediate);
}

// --- pre-encoded headers ------------------------------------------------------

namespace {

Status write_head(BinCommon& p, CommandInitiator* thread, const char* header, unsigned header_size, int id_mode,
                  unsigned& rid, unsigned& next_rid)
{
  if (p.start_encoding(thread) != OK) return ERR_ENCODE;
  if (p.wr_bytes(thread, header_size, header) != OK) return ERR_ENCODE;
  if (id_mode == BinCommon::ID_NEXT) {
    rid = next_rid++;
    return p.wr_uint(thread, rid);
  }
  if (id_mode == BinCommon::ID_GIVEN) return p.wr_uint(thread, rid);
  return OK;
}

}  // namespace

Status BinCommon::wr_preencoded_with(CommandInitiator* thread, const char* header, unsigned header_size,
                                     int id_mode, unsigned& rid, const void* record, unsigned descriptor,
                                     ParamList* params, bool immediate)
{
  if (write_head(*this, thread, header, header_size, id_mode, rid, m_rid) != OK) {
    finish_encoding(thread, immediate);
    return ERR_ENCODE;
  }
  return wr_parms_with(thread, record, descriptor, params, immediate);
}

Status BinCommon::wr_preencoded(CommandInitiator* thread, const char* header, unsigned header_size, int id_mode,
                                unsigned& rid, const void* record, unsigned descriptor, bool immediate)
{
  return wr_preencoded_with(thread, header, header_size, id_mode, rid, record, descriptor, nullptr, immediate);
}

Status BinCommon::wr_preencoded_lst(CommandInitiator* thread, const char* header, unsigned header_size,
                                    int id_mode, unsigned& rid, unsigned descriptor, bool immediate,
                                    const void* const* pointers)
{
  ParamList params;
  params.array = pointers;
  return wr_preencoded_with(thread, header, header_size, id_mode, rid, nullptr, descriptor, &params, immediate);
}

Status BinCommon::wr_preencoded_vlst(CommandInitiator* thread, const char* header, unsigned header_size,
                                     int id_mode, unsigned& rid, unsigned descriptor, bool immediate,
                                     va_list pointers)
{
  va_list ap;
  va_copy(ap, pointers);
  ParamList params;
  params.ap = &ap;
  Status s =
      wr_preencoded_with(thread, header, header_size, id_mode, rid, nullptr, descriptor, &params, immediate);
  va_end(ap);
  return s;
}

Status BinCommon::wr_preencoded(CommandInitiator* thread, const char* header, unsigned header_size, int id_mode,
                                unsigned& rid, const char* footer, unsigned footer_size, bool immediate)
{
  if (write_head(*this, thread, header, header_size, id_mode, rid, m_rid) != OK ||
      wr_bytes(thread, footer_size, footer) != OK) {
    finish_encoding(thread, immediate);
    return ERR_ENCODE;
  }
  return finish_encoding(thread, immediate);
}

// --- reading ----------------------------------------------------------------

Status BinCommon::rd_message(CommandInitiator* thread, void* record, unsigned descriptor, ParamList* params)
{
  if (m_depth > MAX_DEPTH) return ERR_DECODE;
  DepthGuard guard(m_depth);

  const unsigned end = m_fields[descriptor].get_end();
  unsigned idx = descriptor;
  unsigned char token = 0;
  uint32_t tag = 0;
  uint32_t prev = 0;
  bool peek = true;
  int budget = MAX_UNKNOWN_FIELDS;
  void* dest = nullptr;
  bool have_dest = false;

  auto skip_unknown = [&]() -> Status {
    if (budget-- == 0) return ERR_DECODE;
    return m_skippers[token](*this, thread) == OK ? OK : ERR_DECODE;
  };

  while (idx < end) {
    const Field& f = m_fields[idx];
    if (!have_dest) {
      dest = params ? params->next() : f.offset(record);
      have_dest = true;
    }
    if (peek) {
      if (rd_uchar(thread, token) != OK) return ERR_DECODE;
      if (token != MSG_END) {
        if (token == Field::KIND_NULL) return null_marker(*this, thread);
        if (rd_uint(thread, tag) != OK || tag < prev) return ERR_DECODE;
        prev = tag;
      }
    }
    if (token == MSG_END) {
      // The message ended early: this and every remaining field get defaults.
      f.set_field_to_default(dest);
      peek = false;
    } else if (tag == f.get_tag()) {
      if (!kind_matches(f, token)) return ERR_DECODE;
      if (m_readers[token](*this, thread, dest, idx) != OK) return ERR_DECODE;
      peek = true;
    } else if (tag < f.get_tag()) {
      peek = true;
      if (skip_unknown() != OK) return ERR_DECODE;
      continue;  // stay on f
    } else {
      // f was omitted: default it and keep the token for the next field.
      f.set_field_to_default(dest);
      peek = false;
    }
    idx = f.next_index(idx);
    have_dest = false;
  }

  if (!peek && token != MSG_END) {
    if (skip_unknown() != OK) return ERR_DECODE;
  }
  if (token == MSG_END) return OK;
  for (;;) {
    if (rd_uchar(thread, token) != OK) return ERR_DECODE;
    if (token == MSG_END) return OK;
    if (token == Field::KIND_NULL) return null_marker(*this, thread);
    if (rd_uint(thread, tag) != OK || tag < prev) return ERR_DECODE;
    prev = tag;
    if (skip_unknown() != OK) return ERR_DECODE;
  }
}

Status BinCommon::sk_message(CommandInitiator* thread)
{
  if (m_depth > MAX_DEPTH) return ERR_DECODE;
  DepthGuard guard(m_depth);
  int budget = MAX_UNKNOWN_FIELDS;
  for (;;) {
    unsigned char token;
    uint32_t tag;
    if (rd_uchar(thread, token) != OK) return ERR_DECODE;
    if (token == MSG_END) return OK;
    if (token == Field::KIND_NULL) return null_marker(*this, thread);
    if (rd_uint(thread, tag) != OK) return ERR_DECODE;
    if (budget-- == 0) return ERR_DECODE;
    if (m_skippers[token](*this, thread) != OK) return ERR_DECODE;
  }
}

Status BinCommon::rd_parms_with(CommandInitiator* thread, void* record, unsigned descriptor, ParamList* params)
{
  Status s = rd_message(thread, record, descriptor, params);
  if (s != OK) return s;
  return finish_decoding(thread);
}

Status BinCommon::rd_parms(CommandInitiator* thread, void* record, unsigned descriptor)
{
  return rd_parms_with(thread, record, descriptor, nullptr);
}

Status BinCommon::rd_parms_lst(CommandInitiator* thread, unsigned descriptor, void* const* pointers)
{
  ParamList params;
  params.array = pointers;
  return rd_parms_with(thread, nullptr, descriptor, &params);
}

Status BinCommon::rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list pointers)
{
  va_list ap;
  va_copy(ap, pointers);
  ParamList params;
  params.ap = &ap;
  Status s = rd_parms_with(thread, nullptr, descriptor, &params);
  va_end(ap);
  return s;
}

Status BinCommon::sk_parms(CommandInitiator* thread)
{
  Status s = sk_message(thread);
  if (s != OK) return s;
  return finish_decoding(thread);
}

}  // namespace Protocol
}  // namespace Sid
