// The property cache of SERootObject: cache records, property requests and
// replies, and property-change messages.
#include <ctime>

#include "ClientRuntime/types/SERootObject.h"

using Sid::CommandInitiator;
using Sid::Protocol::Status;

namespace {

bool kind_matches(unsigned char wire, unsigned char desc) {
  if (desc == Sid::Field::KIND_BOOLEAN) return wire == 'T' || wire == 'F';
  return wire == desc;
}

} // namespace

void* SERootObject::cache_record(unsigned modid, unsigned oid, bool create) {
  auto it = m_cache.find(oid);
  if (it != m_cache.end()) return it->second.first == modid ? it->second.second : nullptr;
  if (!create) return nullptr;
  // An unknown class (a module id from the wire) simply has no record.
  void* record = prop_factory(modid);
  if (record) m_cache.emplace(oid, std::make_pair(modid, record));
  return record;
}

void* SERootObject::get_cached_prop(const unsigned& modid, const unsigned& oid, const unsigned& prop,
                                    unsigned char& kind) {
  if (modid == 0 || oid == 0) return nullptr;
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  const Sid::Field* desc = get_property_desc(modid, prop);
  if (!desc) return nullptr;
  void* record = cache_record(modid, oid, true);
  if (!record) return nullptr;
  kind = desc->kind();
  return desc->offset(record);
}

bool SERootObject::is_prop_cached(const unsigned& modid, const unsigned& oid, const unsigned& prop) {
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  void* record = cache_record(modid, oid, false);
  if (!record) return false;
  SEIntList* list = prop_cached_list(record, modid);
  return list && list->contains(static_cast<int>(prop));
}

void SERootObject::add_prop_cached(const unsigned& modid, const unsigned& oid, const unsigned& prop) {
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  void* record = cache_record(modid, oid, false);
  if (!record) return;
  SEIntList* list = prop_cached_list(record, modid);
  if (list && !list->contains(static_cast<int>(prop))) list->append(static_cast<int>(prop));
}

void SERootObject::del_prop_cached(const unsigned& modid, const unsigned& oid, const unsigned& prop) {
  std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
  void* record = cache_record(modid, oid, false);
  if (!record) return;
  SEIntList* list = prop_cached_list(record, modid);
  if (list) list->remove_val(static_cast<int>(prop));
}

Status SERootObject::abandon_reply(CommandInitiator* thread) {
  if (get_protocol()->resync_decode(thread) != Sid::Protocol::OK) terminate_requests(nullptr);
  return Sid::Protocol::ERR_DECODE;
}

Status SERootObject::read_properties(CommandInitiator* thread) {
  Sid::Protocol::BinClient* protocol = get_protocol();
  bool without_value = false;
  for (;;) {
    unsigned modid = 0, oid = 0, prop = 0;
    unsigned char kind = 0;
    Status s = protocol->rd_property(thread, modid, oid, prop, kind);
    if (s == Sid::Protocol::COMPLETED) return without_value ? Sid::Protocol::COMPLETED : Sid::Protocol::OK;
    if (s != Sid::Protocol::OK) return s == Sid::Protocol::ERR_DECODE ? abandon_reply(thread) : s;
    unsigned char desc_kind = 0;
    void* member = get_cached_prop(modid, oid, prop, desc_kind);
    if (!member) return abandon_reply(thread);
    if (kind == Sid::Field::KIND_NULL) {
      del_prop_cached(modid, oid, prop);
      without_value = true;
      continue;
    }
    if (!kind_matches(kind, desc_kind)) return abandon_reply(thread);
    std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
    const Sid::Field* desc = get_property_desc(modid, prop);
    if (protocol->rd_value(kind, thread, member, descriptor_index(desc)) != Sid::Protocol::OK)
      return abandon_reply(thread);
    add_prop_cached(modid, oid, prop);
  }
}

Status SERootObject::get_property(CommandInitiator* thread, const unsigned& modid, const unsigned& oid,
                                  const unsigned& prop, const char* header, unsigned header_size) {
  if (is_prop_cached(modid, oid, prop)) return Sid::Protocol::OK;
  Sid::Protocol::BinClient* protocol = get_protocol();
  if (!protocol) return Sid::Protocol::ERR_ENCODE;
  std::unique_lock<std::recursive_mutex> command(get_command_lock());
  Status s = header ? protocol->begin_get_request(thread, header, header_size, oid)
                    : protocol->begin_get_request(thread, modid, oid, prop);
  if (s != Sid::Protocol::OK) return Sid::Protocol::ERR_ENCODE;
  if (!wait_get(thread, command)) return Sid::Protocol::ERR_DECODE;
  return read_properties(thread);
}

Status SERootObject::get_properties(CommandInitiator* thread, const unsigned& modid, const unsigned& oid,
                                    const SEIntList& props) {
  SERefList refs;
  refs.append(SEReference(oid, modid, this));
  return get_properties(thread, modid, refs, props);
}

Status SERootObject::get_properties(CommandInitiator* thread, const unsigned& modid, const SERefList& refs,
                                    const SEIntList& props) {
  SEIntList oids, wanted;
  for (size_t p = 0; p < props.size(); ++p) {
    for (size_t r = 0; r < refs.size(); ++r) {
      if (!is_prop_cached(modid, refs[r].get_oid(), static_cast<unsigned>(props[p]))) {
        wanted.append(props[p]);
        break;
      }
    }
  }
  if (wanted.size() == 0) return Sid::Protocol::OK;
  for (size_t r = 0; r < refs.size(); ++r) oids.append(static_cast<int>(refs[r].get_oid()));
  Sid::Protocol::BinClient* protocol = get_protocol();
  if (!protocol) return Sid::Protocol::ERR_ENCODE;
  std::unique_lock<std::recursive_mutex> command(get_command_lock());
  if (protocol->begin_get_request(thread) != Sid::Protocol::OK ||
      protocol->add_get_properties(thread, modid, oids, wanted) != Sid::Protocol::OK)
    return Sid::Protocol::ERR_ENCODE;
  if (!wait_get(thread, command)) return Sid::Protocol::ERR_DECODE;
  return read_properties(thread);
}

bool SERootObject::FetchMultipleObjectsProps(const unsigned& modid, const SERefList& refs, const SEIntList& props) {
  if (refs.size() == 0) return true;
  Sid::fetch(refs);
  Status s = get_properties(get_current_thread(), modid, refs, props);
  return s == Sid::Protocol::OK || s == Sid::Protocol::COMPLETED;
}

Status SERootObject::property_onchange(CommandInitiator* thread) {
  Sid::Protocol::BinClient* protocol = get_protocol();
  bool stored = false;
  unsigned last_modid = 0, last_oid = 0, last_prop = 0;
  for (;;) {
    unsigned modid = 0, oid = 0, prop = 0;
    unsigned char kind = 0;
    Status s = protocol->rd_property(thread, modid, oid, prop, kind);
    if (s == Sid::Protocol::COMPLETED) break;
    if (s != Sid::Protocol::OK) return s;
    last_modid = modid;
    last_oid = oid;
    last_prop = prop;
    const Sid::Field* desc = get_property_desc(modid, prop);
    SEReference ref(oid, modid, this);
    if (!desc || !ref.present(0)) {
      // Nobody holds this object: its changes are not cached.
      if (kind != 'N' && kind != 'T' && kind != 'F' && protocol->sk_value(kind, thread) != Sid::Protocol::OK)
        return Sid::Protocol::ERR_DECODE;
      continue;
    }
    unsigned char desc_kind = 0;
    void* member = get_cached_prop(modid, oid, prop, desc_kind);
    if (!member) return Sid::Protocol::ERR_DECODE;
    if (kind == Sid::Field::KIND_NULL) {
      del_prop_cached(modid, oid, prop);
    } else {
      if (!kind_matches(kind, desc_kind)) return Sid::Protocol::ERR_DECODE;
      std::lock_guard<std::recursive_mutex> cache(get_cache_lock());
      if (protocol->rd_value(kind, thread, member, descriptor_index(desc)) != Sid::Protocol::OK)
        return Sid::Protocol::ERR_DECODE;
      add_prop_cached(modid, oid, prop);
    }
    stored = true;
  }
  unsigned marker = logging_out();
  if (stored && (marker == 0 || marker == last_modid)) {
    SEReference ref(last_oid, last_modid, this);
    if (ref.can_dispatch()) ref.m_object->OnChange(static_cast<int>(last_prop));
  }
  return Sid::Protocol::OK;
}
