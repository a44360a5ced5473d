#include "ClientRuntime/types/SERootObject.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <vector>

using Sid::CommandInitiator;
using Sid::Protocol::Status;

namespace {

std::mutex& registry_mutex() {
  static std::mutex m;
  return m;
}
std::vector<SERootObject*>& live_roots() {
  static std::vector<SERootObject*> roots;
  return roots;
}

// The fetch in progress on this thread: the proxy constructor lets go of the
// object lock so that the rest of the subclass constructor runs without it.
thread_local std::unique_lock<std::recursive_mutex>* t_fetch_lock = nullptr;

} // namespace

SERootObject::BinClient::BinClient(SERootObject* root, Sid::TransportInterface* transport,
                                   const Sid::Field* descriptors)
    : Sid::Protocol::BinClient(transport, descriptors), m_root(root) {
  set_reader(Sid::Field::KIND_OBJECTID, &rd_ref);
}

Status SERootObject::BinClient::rd_ref(Sid::Protocol::BinCommon& self, CommandInitiator* thread, void* dest,
                                       unsigned index) {
  unsigned oid = 0;
  Status s = self.rd_uint(thread, oid);
  if (s != Sid::Protocol::OK) return s;
  auto& me = static_cast<BinClient&>(self);
  auto* ref = static_cast<SEReference*>(dest);
  const Sid::Field* fields = self.descriptors();
  // A reference that was default-constructed inside a list takes its class
  // from the descriptor.
  if (ref->m_modid == 0 && fields && fields[index].kind() == Sid::Field::KIND_OBJECTID)
    ref->m_modid = fields[index].m_field_info;
  me.m_root->__decode(*ref, oid);
  return Sid::Protocol::OK;
}

SERootObject::SERootObject(int max_processors, const Sid::Field* descriptors)
    : Sid::SEClientSession(max_processors, descriptors) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  live_roots().push_back(this);
}

SERootObject::~SERootObject() {
  stop();
  {
    std::lock_guard<std::mutex> lock(registry_mutex());
    auto& roots = live_roots();
    roots.erase(std::remove(roots.begin(), roots.end(), this), roots.end());
  }
  cleanup(1);
}

SERootObject* SERootObject::instance() {
  std::lock_guard<std::mutex> lock(registry_mutex());
  return live_roots().empty() ? nullptr : live_roots().back();
}

bool SERootObject::is_live(const SERootObject* root) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  const auto& roots = live_roots();
  return std::find(roots.begin(), roots.end(), root) != roots.end();
}

std::unique_ptr<Sid::Protocol::BinClient> SERootObject::create_protocol(Sid::Connection* connection) {
  return std::make_unique<BinClient>(this, connection, get_descriptors());
}

// ---------------------------------------------------------------------------
// References and proxies

void SERootObject::__construct_by_oid(SEReference& ref) {
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  ref.m_ts = m_generation;
  auto it = m_objects.find(ref.m_oid);
  if (it == m_objects.end()) return;
  SEObject* obj = it->second;
  if (obj->is_ready() && obj->moduleID() != ref.m_modid) {
    ref.m_oid = 0;   // the id names an object of another class
    return;
  }
  ++obj->m_count;
  ref.m_object = obj;
}

SEObject* SERootObject::__lookup(const SEReference& ref) {
  if (ref.m_ts != m_generation) return nullptr;   // stale
  if (ref.m_object) return ref.m_object;
  auto it = m_objects.find(ref.m_oid);
  if (it == m_objects.end()) return nullptr;
  ++it->second->m_count;
  ref.m_object = it->second;
  return ref.m_object;
}

SEObject* SERootObject::__attach_copy(const SEReference& ref) {
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  if (ref.m_oid == 0 || ref.m_ts != m_generation) return nullptr;
  SEObject* obj = ref.m_object;
  if (!obj) {
    auto it = m_objects.find(ref.m_oid);
    if (it == m_objects.end()) return nullptr;
    obj = it->second;
  }
  ++obj->m_count;
  return obj;
}

void SERootObject::__register(SEObject* object) {
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  m_objects[object->getOID()] = object;
  if (t_fetch_lock && t_fetch_lock->owns_lock()) t_fetch_lock->unlock();
}

SEObject* SERootObject::__fetch(const SEReference& ref) {
  if (ref.m_oid == 0) return nullptr;
  std::unique_lock<std::recursive_mutex> lock(m_object_lock);
  if (SEObject* obj = __lookup(ref)) return obj;
  if (ref.m_ts != m_generation) return nullptr;
  auto* outer = t_fetch_lock;
  t_fetch_lock = &lock;
  SEObject* obj = factory(ref.m_oid, ref.m_modid);
  t_fetch_lock = outer;
  if (!lock.owns_lock()) lock.lock();
  if (!obj) return nullptr;
  if (m_generation != ref.m_ts) return nullptr;   // purged meanwhile (and deleted with it)
  obj->m_ready = 1;
  ref.m_object = obj;   // the count of 1 from construction is this reference's
  return obj;
}

SEObject* SERootObject::__check_present(const SEReference& ref, bool wait) {
  SEObject* obj = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(m_object_lock);
    obj = __lookup(ref);
  }
  if (obj && wait) {
    while (!obj->is_ready()) {
      timespec ts{0, 1000000L};
      nanosleep(&ts, nullptr);
    }
  }
  return obj;
}

void SERootObject::__unref(SEObject* obj) {
  if (--obj->m_count > 0) return;
  obj->finalize();
  auto c = m_cache.find(obj->getOID());
  if (c != m_cache.end()) {
    void* record = c->second.second;
    m_cache.erase(c);
    obj->__clear_cache(record);
  }
  auto it = m_objects.find(obj->getOID());
  if (it != m_objects.end() && it->second == obj) m_objects.erase(it);
  delete obj;
}

void SERootObject::__release(SEReference& ref) {
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  if (ref.m_object && ref.m_ts == m_generation) __unref(ref.m_object);
  ref.m_object = nullptr;
}

void SERootObject::__assign(SEReference& target, const SEReference& source) {
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  SEObject* obj = source.m_root == this ? __attach_copy(source) : nullptr;
  SEObject* old = (target.m_ts == m_generation) ? target.m_object : nullptr;
  if (obj && obj == old) --obj->m_count;   // same proxy: keep the one count
  else if (old) __unref(old);
  target.m_oid = source.m_oid;
  target.m_ts = source.m_ts;
  target.m_root = source.m_root;
  target.m_object = obj;
}

void SERootObject::__decode(SEReference& ref, unsigned oid) {
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  bool valid = ref.m_root == this && ref.m_ts == m_generation;
  if (valid && ref.m_oid == oid && oid != 0) return;
  if (valid && ref.m_object) __unref(ref.m_object);
  else if (ref.m_root && ref.m_root != this && ref.m_object) ref.m_root->__release(ref);
  ref.m_oid = oid;
  ref.m_ts = m_generation;
  ref.m_root = this;
  ref.m_object = nullptr;
  if (oid == 0) return;
  auto it = m_objects.find(oid);
  if (it != m_objects.end()) {
    ++it->second->m_count;
    ref.m_object = it->second;
  }
}

void SERootObject::cleanup(int mode, SEReference* keep) {
  if (mode != 1) return;
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  ++m_generation;
  std::unordered_map<unsigned, SEObject*> objects;
  objects.swap(m_objects);
  for (auto& [oid, obj] : objects) {
    auto c = m_cache.find(oid);
    if (c != m_cache.end()) {
      void* record = c->second.second;
      m_cache.erase(c);
      obj->__clear_cache(record);
    }
    delete obj;
  }
  // Records of objects that never had a proxy.
  for (auto& [oid, entry] : m_cache) free_cache_record(entry.second, entry.first);
  m_cache.clear();
  if (keep) {
    keep->m_ts = m_generation;
    keep->m_object = nullptr;
  }
}

unsigned SERootObject::generation() {
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  return m_generation;
}

size_t SERootObject::object_count() {
  std::lock_guard<std::recursive_mutex> lock(m_object_lock);
  return m_objects.size();
}
