#ifndef CLIENTRUNTIME_TYPES_SEOBJECT_H
#define CLIENTRUNTIME_TYPES_SEOBJECT_H

#include <atomic>

#include "ClientRuntime/types/SEReference.h"
#include "VoiceHost/sid/types/SEBinary.h"
#include "VoiceHost/sid/types/SEDict.h"
#include "VoiceHost/sid/types/SEIntList.h"
#include "VoiceHost/sid/types/SEPMap.h"
#include "VoiceHost/sid/types/SEString.h"
#include "VoiceHost/sid/types/SEStringList.h"

// An enumeration-typed property of a class and the value table of its enumeration.
struct SEEMapEntry {
  int prop;
  const SEPMap::Entry* map;
};

// The base of every proxy of a remote object. Created only by the object
// model (SERootObject::__fetch), reference-counted by the references that
// hold it, deleted when the last one lets go or the root purges.
class SEObject {
public:
  SEObject(unsigned oid, SERootObject* root);
  SEObject(const SEObject&) = delete;
  SEObject& operator=(const SEObject&) = delete;

  virtual void __clear_cache(void* record) = 0;
  virtual unsigned moduleID() const = 0;
  virtual const char* getNamespace() const = 0;
  virtual const SEPMap::Entry* getPMap() const = 0;
  virtual const SEEMapEntry* getEMap() const = 0;
  virtual void OnChange(int prop);
  virtual void finalize();
  virtual ~SEObject();

  unsigned getOID() const { return m_oid; }
  SERootObject* getRoot() const { return m_root; }
  bool is_ready() const { return m_ready.load() != 0; }

  // Generic readers: fetch when not cached, then the cached member (its
  // default when the request failed).
  unsigned GetUintProp(unsigned prop);
  bool GetBoolProp(unsigned prop);
  SEString GetStrProp(unsigned prop);
  SEBinary GetBinProp(unsigned prop);
  SEReference GetObjProp(unsigned prop);
  SEString GetProp(int prop);
  SEIntDict GetProps(const SEIntList& props);
  SEStringList getPropDebug(int prop, unsigned value);
  SEStringList getPropDebug(int prop, const SEString& value);
  bool FetchProps(const SEIntList& props);

private:
  friend class SERootObject;
  void* cached_member(unsigned prop, unsigned char& kind);

  SERootObject* m_root;
  std::atomic<int> m_ready{0};
  unsigned m_oid;
  int m_count = 1;   // under the root's object lock
};

#endif
