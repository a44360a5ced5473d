#include "ClientRuntime/types/SEObject.h"

#include <cstdio>
#include <cstdlib>

#include "ClientRuntime/types/SERootObject.h"

namespace {

// A property id used with a reader of the wrong kind is a programming error.
[[noreturn]] void fatal(const char* what) {
  std::fprintf(stderr, "assertion failed: %s\n", what);
  std::abort();
}

} // namespace

SEObject::SEObject(unsigned oid, SERootObject* root) : m_root(root), m_oid(oid) {
  if (m_root) m_root->__register(this);
}

SEObject::~SEObject() = default;
void SEObject::OnChange(int) {}
void SEObject::finalize() {}

void* SEObject::cached_member(unsigned prop, unsigned char& kind) {
  unsigned modid = moduleID();
  return m_root->get_cached_prop(modid, m_oid, prop, kind);
}

unsigned SEObject::GetUintProp(unsigned prop) {
  unsigned char kind = 0;
  void* member = cached_member(prop, kind);
  if (!member || (kind != 'e' && kind != 'i' && kind != 'u' && kind != 'U'))
    fatal("(kind == 'e' || kind == 'i' || kind == 'u' || kind == 'U') && cached_ptr");
  m_root->get_property(m_root->get_current_thread(), moduleID(), m_oid, prop);
  std::lock_guard<std::recursive_mutex> lock(m_root->get_cache_lock());
  if (kind == 'U') return static_cast<unsigned>(*static_cast<uint64_t*>(member));
  return *static_cast<unsigned*>(member);
}

bool SEObject::GetBoolProp(unsigned prop) {
  unsigned char kind = 0;
  void* member = cached_member(prop, kind);
  if (!member || (kind != 'T' && kind != 'F' && kind != 'b')) fatal("kind == Sid::Field::KIND_BOOLEAN && cached_ptr");
  m_root->get_property(m_root->get_current_thread(), moduleID(), m_oid, prop);
  std::lock_guard<std::recursive_mutex> lock(m_root->get_cache_lock());
  return *static_cast<bool*>(member);
}

SEString SEObject::GetStrProp(unsigned prop) {
  unsigned char kind = 0;
  void* member = cached_member(prop, kind);
  if (!member || (kind != 'S' && kind != 'X' && kind != 'f')) fatal("kind == Sid::Field::KIND_STRING && cached_ptr");
  m_root->get_property(m_root->get_current_thread(), moduleID(), m_oid, prop);
  std::lock_guard<std::recursive_mutex> lock(m_root->get_cache_lock());
  return *static_cast<SEString*>(member);
}

SEBinary SEObject::GetBinProp(unsigned prop) {
  unsigned char kind = 0;
  void* member = cached_member(prop, kind);
  if (!member || kind != 'B') fatal("kind == Sid::Field::KIND_BINARY && cached_ptr");
  m_root->get_property(m_root->get_current_thread(), moduleID(), m_oid, prop);
  std::lock_guard<std::recursive_mutex> lock(m_root->get_cache_lock());
  return *static_cast<SEBinary*>(member);
}

SEReference SEObject::GetObjProp(unsigned prop) {
  unsigned char kind = 0;
  void* member = cached_member(prop, kind);
  if (!member || kind != 'O') fatal("kind == Sid::Field::KIND_OBJECTID && cached_ptr");
  m_root->get_property(m_root->get_current_thread(), moduleID(), m_oid, prop);
  std::lock_guard<std::recursive_mutex> lock(m_root->get_cache_lock());
  return *static_cast<SEReference*>(member);
}

SEString SEObject::GetProp(int prop) {
  unsigned char kind = 0;
  void* member = cached_member(static_cast<unsigned>(prop), kind);
  if (!member) return "<missing>";
  m_root->get_property(m_root->get_current_thread(), moduleID(), m_oid, static_cast<unsigned>(prop));
  std::lock_guard<std::recursive_mutex> lock(m_root->get_cache_lock());
  switch (kind) {
  case 'S':
  case 'X':
  case 'f':
    return *static_cast<SEString*>(member);
  case 'i':
    return SEString::from(*static_cast<int*>(member));
  case 'u':
  case 'e':
    return SEString::from(static_cast<int>(*static_cast<unsigned*>(member)));
  case 'O':
    return SEString::from(static_cast<int>(static_cast<SEReference*>(member)->get_oid()));
  case 'U':
    return SEString::from(static_cast<int>(*static_cast<uint64_t*>(member)));
  case 'T':
    return "1";
  case 'F':
    return "0";
  case 'b':
    return *static_cast<bool*>(member) ? "1" : "0";
  case 'B':
    return "<binary>";
  default:
    return "";
  }
}

SEIntDict SEObject::GetProps(const SEIntList& props) {
  SEIntDict out;
  for (size_t i = 0; i < props.size(); ++i) out.insert(props[i], GetProp(props[i]));
  return out;
}

SEStringList SEObject::getPropDebug(int prop, const SEString& value) {
  SEStringList out;
  out.append(getNamespace());
  SEString name;
  const SEPMap::Entry* table = getPMap();
  for (size_t i = 0; table && table[i].name; ++i) {
    if (table[i].code == prop) {
      name = table[i].name;
      break;
    }
  }
  out.append(name.isNull() ? SEString("") : name);
  SEString text = value;
  for (const SEEMapEntry* e = getEMap(); e && e->prop != 0; ++e) {
    if (e->prop == prop) {
      SEString label = SEPMap(e->map).map(static_cast<int>(value.toUInt()));
      if (!label.isNull()) text = label;
      break;
    }
  }
  out.append(text);
  return out;
}

SEStringList SEObject::getPropDebug(int prop, unsigned value) {
  SEString text;
  text.Format("%u", value);
  return getPropDebug(prop, text);
}

bool SEObject::FetchProps(const SEIntList& props) {
  Sid::Protocol::Status s = m_root->get_properties(m_root->get_current_thread(), moduleID(), m_oid, props);
  return s == Sid::Protocol::OK || s == Sid::Protocol::COMPLETED;
}
