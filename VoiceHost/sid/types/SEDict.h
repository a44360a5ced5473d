#ifndef SID_TYPES_SEDICT_H
#define SID_TYPES_SEDICT_H

#include <atomic>
#include <cstddef>
#include <map>
#include <vector>

#include "VoiceHost/sid/types/SEIntList.h"
#include "VoiceHost/sid/types/SEMutex.h"
#include "VoiceHost/sid/types/SEString.h"
#include "VoiceHost/sid/types/SEStringList.h"

class SEObject;

// The shared body of the dictionary family: a copy-on-write hash dictionary
// with a fixed bucket count. Elements keep the order of their bucket, then the
// order of insertion within the bucket ("chain order"); indexing walks that
// order. Buckets are kept sparse (only non-empty ones exist).
template <class K, class V, unsigned BUCKETS, bool MULTI, class Hash>
class SEDictBase {
public:
  struct Element {
    K key{};
    V value{};
  };

  SEDictBase() = default;
  SEDictBase(const SEDictBase& other) : d(other.d) { retain(); }
  ~SEDictBase() { drop(d); }
  SEDictBase& operator=(const SEDictBase& other)
  {
    if (other.d != d) {
      Data* old = d;
      d = other.d;
      retain();
      drop(old);
    }
    return *this;
  }

  static constexpr unsigned bucket_count() { return BUCKETS; }
  static unsigned bucket_of(const K& key) { return Hash()(key) % BUCKETS; }

  // Multi-maps add another element for an existing key; others replace its value.
  void insert(const K& key, const V& value)
  {
    detach();
    auto& chain = d->buckets[bucket_of(key)];
    if (!MULTI) {
      for (auto& e : chain) {
        if (e.key == key) {
          e.value = value;
          return;
        }
      }
    }
    chain.push_back(Element{key, value});
    ++d->count;
    d->dirty = true;
  }

  // The n-th element with this key in chain order; a null element when absent.
  const Element& find(const K& key, unsigned n = 0) const
  {
    if (d) {
      auto it = d->buckets.find(bucket_of(key));
      if (it != d->buckets.end()) {
        for (const auto& e : it->second) {
          if (e.key == key && n-- == 0) return e;
        }
      }
    }
    return find_none();
  }
  bool contains(const K& key) const { return &find(key) != &find_none(); }
  V value(const K& key) const { return find(key).value; }

  // Removes the first element with this key; false when there is none.
  bool remove(const K& key)
  {
    if (!d || !contains(key)) return false;
    detach();
    auto it = d->buckets.find(bucket_of(key));
    auto& chain = it->second;
    for (size_t i = 0; i < chain.size(); ++i) {
      if (chain[i].key == key) {
        chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    if (chain.empty()) d->buckets.erase(it);
    --d->count;
    d->dirty = true;
    return true;
  }

  size_t size() const { return d ? d->count : 0; }
  const K& keyAt(size_t i) const { return element(i).key; }
  V operator[](size_t i) const { return element(i).value; }

  void clear()
  {
    drop(d);
    d = nullptr;
  }

protected:
  const Element& element(size_t i) const
  {
    if (!d || i >= d->count) return find_none();
    rebuild();
    return *d->index[i];
  }

private:
  struct Data {
    std::atomic<unsigned> ref{1};
    std::map<unsigned, std::vector<Element>> buckets;
    size_t count = 0;
    std::vector<const Element*> index;
    bool dirty = true;
    // Guards the index rebuilt by readers of a shared body.
    SEMutex lock;
  };

  static const Element& find_none()
  {
    static const Element none{};
    return none;
  }
  // The index array is a cache of the chain order, rebuilt when dirty.
  void rebuild() const
  {
    SEMutexLock hold(d->lock);
    if (!d->dirty) return;
    d->index.clear();
    for (const auto& bucket : d->buckets) {
      for (const auto& e : bucket.second) d->index.push_back(&e);
    }
    d->dirty = false;
  }
  void detach()
  {
    if (!d) {
      d = new Data;
    } else if (d->ref.load(std::memory_order_acquire) != 1) {
      Data* copy = new Data;
      copy->buckets = d->buckets;
      copy->count = d->count;
      drop(d);
      d = copy;
    }
  }
  void retain()
  {
    if (d) d->ref.fetch_add(1, std::memory_order_relaxed);
  }
  static void drop(Data* data)
  {
    if (data && data->ref.fetch_sub(1, std::memory_order_acq_rel) == 1) delete data;
  }

  Data* d = nullptr;
};

namespace Sid {
struct IntKeyHash {
  unsigned operator()(int key) const { return static_cast<unsigned>(key); }
};
struct StringKeyHash {
  unsigned operator()(const SEString& key) const { return key.hash(17); }
};
}  // namespace Sid

class SEIntDict : public SEDictBase<int, SEString, 17, false, Sid::IntKeyHash> {
public:
  using SEDictBase::insert;
  // With only_existing set, a missing key is not added.
  void insert(int key, const SEString& value, bool only_existing);
  SEIntList keys() const;
  // key="value" pairs separated by single spaces.
  SEString format() const;
};

class SEPtrDict : public SEDictBase<SEString, void*, 17, true, Sid::StringKeyHash> {
public:
  // A null key is ignored.
  void insert(const SEString& key, void* value);
  SEStringList keys() const;
};

class SEObjDict : public SEDictBase<int, SEObject*, 8123, true, Sid::IntKeyHash> {
public:
  SEIntList keys() const;
};

class SEPtrIntDict : public SEDictBase<int, void*, 8123, true, Sid::IntKeyHash> {
public:
  SEIntList keys() const;
};

#endif
