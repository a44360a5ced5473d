#ifndef CLIENTRUNTIME_TYPES_SEREFERENCE_H
#define CLIENTRUNTIME_TYPES_SEREFERENCE_H

#include "VoiceHost/sid/types/SEList.h"

class SEObject;
class SERootObject;

// Names one remote object: its id, its class (module id) and the root it
// belongs to. An attached reference holds one count on the local proxy. A
// reference made before its root's last purge is stale: it yields nothing.
class SEReference {
public:
  SEReference() = default;
  SEReference(const unsigned& oid, const unsigned& modid, SERootObject* root = nullptr);
  SEReference(const SEReference& other);
  ~SEReference();
  SEReference& operator=(const SEReference& other);

  // Same object and same generation, or both null.
  bool operator==(const SEReference& other) const;
  bool operator!=(const SEReference& other) const { return !(*this == other); }

  unsigned get_oid() const { return m_oid; }
  unsigned get_modid() const { return m_modid; }
  explicit operator bool() const { return m_oid != 0; }
  SEObject* operator->() const { return fetch(); }
  // The proxy, created when none exists; null for a null or stale reference.
  SEObject* fetch() const;
  // Whether a proxy exists that callbacks may be delivered to (waits for a
  // half-built one); never creates one.
  bool can_dispatch() const;
  bool present(const int& wait) const;

  // All fields are public: the object model and the decoders work on them
  // under the root's locks.
  unsigned m_oid = 0;
  SERootObject* m_root = nullptr;
  mutable SEObject* m_object = nullptr;
  unsigned m_ts = 0;
  unsigned m_modid = 0;
};

// A list of references; typed lists derive from it.
class SERefList : public SEValueList<SEReference> {};

namespace Sid {
// Fetches (creates) the proxy of every element.
void fetch(const SERefList& list);
} // namespace Sid

#endif
