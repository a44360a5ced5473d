#include "ClientRuntime/types/SEReference.h"

#include "ClientRuntime/types/SERootObject.h"

SEReference::SEReference(const unsigned& oid, const unsigned& modid, SERootObject* root)
    : m_oid(oid), m_root(root), m_modid(modid) {
  if (m_oid == 0) return;
  if (!m_root) m_root = SERootObject::instance();
  if (m_root) m_root->__construct_by_oid(*this);
}

SEReference::SEReference(const SEReference& other)
    : m_oid(other.m_oid), m_root(other.m_root), m_ts(other.m_ts), m_modid(other.m_modid) {
  if (m_root) m_object = m_root->__attach_copy(other);
}

// References held against any live root give their proxy back (the root list
// tells whether the root still exists); with several sessions every root's
// proxies are freed as soon as nobody holds them.
SEReference::~SEReference() {
  if (m_root && m_object && SERootObject::is_live(m_root)) m_root->__release(*this);
}

SEReference& SEReference::operator=(const SEReference& other) {
  if (this == &other) return *this;
  if (m_root && SERootObject::is_live(m_root)) {
    m_root->__assign(*this, other);
    if (other.m_root != m_root && other.m_root) m_object = other.m_root->__attach_copy(other);
    return *this;
  }
  m_oid = other.m_oid;
  m_root = other.m_root;
  m_ts = other.m_ts;
  m_modid = other.m_modid;
  m_object = m_root ? m_root->__attach_copy(other) : nullptr;
  return *this;
}

bool SEReference::operator==(const SEReference& other) const {
  if (m_oid == 0 && other.m_oid == 0) return true;
  return m_oid == other.m_oid && m_ts == other.m_ts;
}

SEObject* SEReference::fetch() const {
  if (m_oid == 0 || !m_root) return nullptr;
  return m_root->__fetch(*this);
}

bool SEReference::present(const int& wait) const {
  if (m_oid == 0 || !m_root) return false;
  return m_root->__check_present(*this, wait != 0) != nullptr;
}

bool SEReference::can_dispatch() const { return present(1); }

namespace Sid {
void fetch(const SERefList& list) {
  for (size_t i = 0; i < list.size(); ++i) list[i].fetch();
}
} // namespace Sid
