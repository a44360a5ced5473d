#ifndef CLIENTRUNTIME_TYPES_SEROOTOBJECT_H
#define CLIENTRUNTIME_TYPES_SEROOTOBJECT_H

#include <memory>
#include <mutex>
#include <unordered_map>

#include "ClientRuntime/ipc/SEClientSession.h"
#include "ClientRuntime/types/SEObject.h"
#include "ClientRuntime/types/SEReference.h"

// The root of the client-side mirror of the runtime's objects: the session
// itself, with the dictionary of live proxies, their property caches, the
// generation that purges advance, and the delivery of property changes.
// Lock order: the cache lock, then the object lock.
class SERootObject : public Sid::SEClientSession {
public:
  // The session's protocol: object ids ('O') decode straight into references.
  class BinClient : public Sid::Protocol::BinClient {
  public:
    BinClient(SERootObject* root, Sid::TransportInterface* transport, const Sid::Field* descriptors);
    SERootObject* m_root;

  private:
    static Sid::Protocol::Status rd_ref(Sid::Protocol::BinCommon& self, Sid::CommandInitiator* thread, void* dest,
                                        unsigned index);
  };

  SERootObject(int max_processors, const Sid::Field* descriptors);
  ~SERootObject() override;

  // The most recently constructed root still alive.
  static SERootObject* instance();
  static bool is_live(const SERootObject* root);

  std::unique_ptr<Sid::Protocol::BinClient> create_protocol(Sid::Connection* connection) override;

  // --- property cache -----------------------------------------------------
  // The member of the object's cache record holding prop (the record is made
  // on first use), with the descriptor's kind; null when unknown.
  virtual void* get_cached_prop(const unsigned& modid, const unsigned& oid, const unsigned& prop,
                                unsigned char& kind);
  virtual const Sid::Field* get_property_desc(const unsigned& modid, const unsigned& prop) = 0;
  virtual bool is_prop_cached(const unsigned& modid, const unsigned& oid, const unsigned& prop);
  virtual void add_prop_cached(const unsigned& modid, const unsigned& oid, const unsigned& prop);
  virtual void del_prop_cached(const unsigned& modid, const unsigned& oid, const unsigned& prop);
  virtual SEObject* factory(const unsigned& oid, const unsigned& modid) = 0;
  virtual void* prop_factory(const unsigned& modid) = 0;
  virtual SEIntList* prop_cached_list(void* record, const unsigned& modid) = 0;
  // Deletes a record made by prop_factory(modid).
  virtual void free_cache_record(void* record, const unsigned& modid) = 0;

  // Requests what is not cached yet and waits for the reply; OK, 1 (no
  // reply), 2 (request not sent), or COMPLETED when a property had no value.
  Sid::Protocol::Status get_property(Sid::CommandInitiator* thread, const unsigned& modid, const unsigned& oid,
                                     const unsigned& prop, const char* header = nullptr,
                                     unsigned header_size = 0);
  Sid::Protocol::Status get_properties(Sid::CommandInitiator* thread, const unsigned& modid, const unsigned& oid,
                                       const SEIntList& props);
  Sid::Protocol::Status get_properties(Sid::CommandInitiator* thread, const unsigned& modid,
                                       const SERefList& refs, const SEIntList& props);
  Sid::Protocol::Status read_properties(Sid::CommandInitiator* thread);
  bool FetchMultipleObjectsProps(const unsigned& modid, const SERefList& refs, const SEIntList& props);

  // Mode 1: every proxy and cache record goes and every reference made so far
  // becomes stale; `keep` (if given) is renewed for the new generation.
  void cleanup(int mode, SEReference* keep = nullptr);
  unsigned generation();
  size_t object_count();

  // --- the object model's own operations (used by references and proxies) --
  void __construct_by_oid(SEReference& ref);
  SEObject* __lookup(const SEReference& ref);   // object lock held
  // The proxy a copy of ref may hold, with the copy's count taken.
  SEObject* __attach_copy(const SEReference& ref);
  SEObject* __fetch(const SEReference& ref);
  void __decode(SEReference& ref, unsigned oid);
  void __assign(SEReference& target, const SEReference& source);
  void __release(SEReference& ref);
  SEObject* __check_present(const SEReference& ref, bool wait);
  void __register(SEObject* object);

protected:
  Sid::Protocol::Status property_onchange(Sid::CommandInitiator* thread) override;

private:
  void __unref(SEObject* object);
  void* cache_record(unsigned modid, unsigned oid, bool create);
  Sid::Protocol::Status abandon_reply(Sid::CommandInitiator* thread);
  unsigned descriptor_index(const Sid::Field* desc) const {
    return static_cast<unsigned>(desc - get_descriptors());
  }

  std::unordered_map<unsigned, SEObject*> m_objects;
  std::unordered_map<unsigned, std::pair<unsigned, void*>> m_cache;   // oid -> (modid, record)
  unsigned m_generation = 0;
  std::recursive_mutex m_object_lock;
};

#endif
