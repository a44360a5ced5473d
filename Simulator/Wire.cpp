#include "Simulator/Wire.h"

#include <cstdio>
#include <cstring>

namespace velsim::wire {

const char* status_name(Status s) {
  switch (s) {
    case Status::Ok: return "ok";
    case Status::Decode: return "decode error";
    case Status::Call: return "error response";
    case Status::Io: return "connection error";
  }
  return "?";
}

const Field* Message::get(uint32_t tag) const {
  for (const auto& f : fields)
    if (f.tag == tag) return &f;
  return nullptr;
}

uint32_t Message::u(uint32_t tag, uint32_t def) const {
  const Field* f = get(tag);
  return f ? static_cast<uint32_t>(f->num) : def;
}

int32_t Message::i(uint32_t tag, int32_t def) const {
  const Field* f = get(tag);
  return f ? static_cast<int32_t>(static_cast<uint32_t>(f->num)) : def;
}

bool Message::b(uint32_t tag, bool def) const {
  const Field* f = get(tag);
  if (!f) return def;
  return f->kind == K_TRUE;
}

std::string Message::s(uint32_t tag) const {
  const Field* f = get(tag);
  return f ? f->str : std::string();
}

std::vector<uint32_t> Message::u_list(uint32_t tag) const {
  std::vector<uint32_t> out;
  if (const Field* f = get(tag))
    for (const auto& item : f->items) out.push_back(static_cast<uint32_t>(item.num));
  return out;
}

namespace {

void describe_field(const Field& f, std::string& out) {
  char buf[48];
  switch (f.kind) {
    case K_INT:
      snprintf(buf, sizeof buf, "%d", static_cast<int32_t>(static_cast<uint32_t>(f.num)));
      out += buf;
      break;
    case K_UINT: case K_ENUM: case K_OID: case K_UINT64:
      snprintf(buf, sizeof buf, "%s%llu", f.kind == K_OID ? "#" : "", static_cast<unsigned long long>(f.num));
      out += buf;
      break;
    case K_STRING: case K_XML: case K_FILENAME: {
      out += '"';
      for (char c : f.str.substr(0, 64)) out += (c >= 32 && c < 127 && c != '"') ? c : '?';
      if (f.str.size() > 64) out += "...";
      out += '"';
      break;
    }
    case K_BINARY:
      snprintf(buf, sizeof buf, "<%zu bytes>", f.str.size());
      out += buf;
      break;
    case K_TRUE: out += "T"; break;
    case K_FALSE: out += "F"; break;
    case K_LIST: case K_STRUCT: {
      out += f.kind == K_LIST ? '[' : '{';
      for (size_t n = 0; n < f.items.size(); ++n) {
        if (n) out += ' ';
        describe_field(f.items[n], out);
      }
      out += f.kind == K_LIST ? ']' : '}';
      break;
    }
    default: out += "?"; break;
  }
}

}  // namespace

std::string Message::describe() const {
  std::string out;
  for (const auto& f : fields) {
    if (!out.empty()) out += ' ';
    out += std::to_string(f.tag);
    out += '=';
    describe_field(f, out);
  }
  return out;
}

// ---- Writer ----

Writer& Writer::raw(uint8_t byte) {
  m_out.push_back(static_cast<char>(byte));
  return *this;
}

Writer& Writer::raw(const char* text) {
  m_out.append(text);
  return *this;
}

Writer& Writer::varint(uint64_t v) {
  while (v >= 0x80) {
    raw(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  return raw(static_cast<uint8_t>(v));
}

Writer& Writer::zigzag(int32_t v) {
  uint32_t u = (static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31);
  return varint(u);
}

Writer& Writer::blob(const void* data, size_t n) {
  varint(n);
  m_out.append(static_cast<const char*>(data), n);
  return *this;
}

Writer& Writer::number(uint8_t kind, uint32_t tag, uint32_t v) {
  if (m_omit && v == 0) return *this;
  raw(kind).varint(tag);
  return varint(v);
}

Writer& Writer::i(uint32_t tag, int32_t v) {
  if (m_omit && v == 0) return *this;
  raw(K_INT).varint(tag);
  return zigzag(v);
}

Writer& Writer::text(uint8_t kind, uint32_t tag, const std::string& v) {
  if (m_omit && v.empty()) return *this;
  raw(kind).varint(tag);
  return blob(v.data(), v.size());
}

Writer& Writer::bin(uint32_t tag, const void* data, size_t n) {
  if (m_omit && n == 0) return *this;
  raw(K_BINARY).varint(tag);
  return blob(data, n);
}

Writer& Writer::b(uint32_t tag, bool v) {
  if (m_omit && !v) return *this;
  raw(v ? K_TRUE : K_FALSE);
  return varint(tag);
}

Writer& Writer::o_list(uint32_t tag, const std::vector<uint32_t>& oids) {
  if (m_omit && oids.empty()) return *this;
  raw(K_LIST).varint(tag);
  for (uint32_t oid : oids) raw(K_OID).varint(oid);
  return raw(M_LIST_END);
}

// ---- Sources ----

bool StringSource::read(void* dst, size_t n) {
  if (n > remaining()) return false;
  if (dst) memcpy(dst, m_data.data() + m_pos, n);
  m_pos += n;
  return true;
}

// ---- Reader ----

Status Reader::byte(uint8_t& b) { return m_src.read(&b, 1) ? Status::Ok : Status::Io; }

Status Reader::u32(uint32_t& v) {
  v = 0;
  for (int n = 0; n < 5; ++n) {
    uint8_t b;
    if (Status s = byte(b); s != Status::Ok) return s;
    if (n == 4 && (b & 0xF0)) return Status::Decode;
    v |= static_cast<uint32_t>(b & 0x7F) << (7 * n);
    if (!(b & 0x80)) return Status::Ok;
  }
  return Status::Decode;
}

Status Reader::u64(uint64_t& v) {
  v = 0;
  for (int n = 0; n < 10; ++n) {
    uint8_t b;
    if (Status s = byte(b); s != Status::Ok) return s;
    if (n == 9 && b > 1) return Status::Decode;
    v |= static_cast<uint64_t>(b & 0x7F) << (7 * n);
    if (!(b & 0x80)) return Status::Ok;
  }
  return Status::Decode;
}

Status Reader::blob(std::string& out) {
  uint32_t n;
  if (Status s = u32(n); s != Status::Ok) return s;
  if (n > Limits::kMaxString) return Status::Decode;
  out.resize(n);
  if (n && !m_src.read(out.data(), n)) return Status::Io;
  return Status::Ok;
}

Status Reader::value(uint8_t kind, Field& f, int depth) {
  f.kind = kind;
  switch (kind) {
    case K_INT: {
      // Zigzag: the signed value is kept as its 32-bit pattern.
      uint32_t v;
      Status s = u32(v);
      f.num = (v >> 1) ^ (0u - (v & 1));
      return s;
    }
    case K_UINT: case K_ENUM: case K_OID: {
      uint32_t v;
      Status s = u32(v);
      f.num = v;
      return s;
    }
    case K_UINT64: return u64(f.num);
    case K_STRING: case K_XML: case K_FILENAME: case K_BINARY: return blob(f.str);
    case K_TRUE: case K_FALSE: return Status::Ok;
    case K_STRUCT: {
      Status s = message(f.items, depth + 1);
      return s == Status::Call ? Status::Decode : s;
    }
    case K_LIST:
      for (;;) {
        uint8_t k;
        if (Status s = byte(k); s != Status::Ok) return s;
        if (k == M_LIST_END) return Status::Ok;
        if (f.items.size() >= Limits::kMaxItems || k == K_LIST || k == K_NULL) return Status::Decode;
        Field item;
        if (Status s = value(k, item, depth); s != Status::Ok) return s;
        f.items.push_back(std::move(item));
      }
    default:
      return Status::Decode;
  }
}

Status Reader::message(std::vector<Field>& out, int depth) {
  if (depth > Limits::kMaxDepth) return Status::Decode;
  uint32_t prev_tag = 0;
  for (;;) {
    uint8_t kind;
    if (Status s = byte(kind); s != Status::Ok) return s;
    if (kind == M_END) return Status::Ok;
    if (kind == K_NULL) {
      uint8_t after;
      if (Status s = byte(after); s != Status::Ok) return s;
      return Status::Call;
    }
    Field f;
    if (Status s = u32(f.tag); s != Status::Ok) return s;
    if (f.tag < prev_tag || out.size() >= Limits::kMaxFields) return Status::Decode;
    prev_tag = f.tag;
    if (Status s = value(kind, f, depth); s != Status::Ok) return s;
    out.push_back(std::move(f));
  }
}

Status Reader::property_request(std::vector<PropRef>& out) {
  for (;;) {
    std::vector<uint32_t> props, oids;
    uint8_t b = M_COMMA;
    while (b == M_COMMA) {
      uint32_t prop;
      if (Status s = u32(prop); s != Status::Ok) return s;
      props.push_back(prop);
      if (Status s = byte(b); s != Status::Ok) return s;
      if (props.size() > Limits::kMaxItems) return Status::Decode;
    }
    if (b != M_LIST_END) return Status::Decode;
    uint32_t module;
    if (Status s = u32(module); s != Status::Ok) return s;
    b = M_COMMA;
    while (b == M_COMMA) {
      uint32_t oid;
      if (Status s = u32(oid); s != Status::Ok) return s;
      oids.push_back(oid);
      if (Status s = byte(b); s != Status::Ok) return s;
      if (oids.size() > Limits::kMaxItems) return Status::Decode;
    }
    if (b != M_LIST_END) return Status::Decode;
    for (uint32_t oid : oids)
      for (uint32_t prop : props) out.push_back({module, oid, prop});
    if (out.size() > Limits::kMaxItems) return Status::Decode;
    if (Status s = byte(b); s != Status::Ok) return s;
    if (b == M_COMMA) continue;
    if (b != M_LIST_END) return Status::Decode;
    if (Status s = byte(b); s != Status::Ok) return s;
    return b == M_END ? Status::Ok : Status::Decode;
  }
}

bool Reader::resync() {
  for (;;) {
    uint8_t b;
    if (byte(b) != Status::Ok) return false;
    if (b == 'Z') return true;
  }
}

}  // namespace velsim::wire
