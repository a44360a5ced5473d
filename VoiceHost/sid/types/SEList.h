#ifndef SID_TYPES_SELIST_H
#define SID_TYPES_SELIST_H

#include <atomic>
#include <cstddef>
#include <utility>
#include <vector>

// The shared body of the list family: a reference-counted, copy-on-write
// sequence. An empty list holds no body at all. Handles sharing a body may be
// used on different threads; one handle must not be changed from two at once.
template <class E>
class SEListBase {
public:
  SEListBase() = default;
  SEListBase(const SEListBase& other) : d(other.d) { retain(); }
  SEListBase(SEListBase&& other) noexcept : d(other.d) { other.d = nullptr; }
  ~SEListBase() { release(); }

  SEListBase& operator=(const SEListBase& other)
  {
    if (other.d != d) {
      Data* old = d;
      d = other.d;
      retain();
      drop(old);
    }
    return *this;
  }
  SEListBase& operator=(SEListBase&& other) noexcept
  {
    if (this != &other) {
      release();
      d = other.d;
      other.d = nullptr;
    }
    return *this;
  }

  size_t size() const { return d ? d->items.size() : 0; }

  void append(const E& value)
  {
    detach_or_create();
    d->items.push_back(value);
  }

  bool remove_pos(size_t i)
  {
    if (i >= size()) return false;
    detach_or_create();
    d->items.erase(d->items.begin() + static_cast<std::ptrdiff_t>(i));
    free_if_empty();
    return true;
  }

  int find_pos(const E& value) const
  {
    for (size_t i = 0; i < size(); ++i) {
      if (d->items[i] == value) return static_cast<int>(i);
    }
    return -1;
  }
  bool remove_val(const E& value)
  {
    int pos = find_pos(value);
    return pos >= 0 && remove_pos(static_cast<size_t>(pos));
  }
  bool contains(const E& value) const { return find_pos(value) >= 0; }

  void clear() { release(); }

  // Element access for the protocol's list helpers: the element at i, or null.
  const E* at(size_t i) const { return i < size() ? &d->items[i] : nullptr; }
  // Appends a default element and returns it, for a decoder to fill.
  E* append_default()
  {
    detach_or_create();
    d->items.emplace_back();
    return &d->items.back();
  }
  void reserve(size_t n)
  {
    if (n == 0) return;
    detach_or_create();
    d->items.reserve(n);
  }

protected:
  struct Data {
    std::atomic<unsigned> ref{1};
    std::vector<E> items;
  };

  E take_first()
  {
    if (!size()) return E();
    detach_or_create();
    E first = std::move(d->items.front());
    d->items.erase(d->items.begin());
    free_if_empty();
    return first;
  }

  void resize_to(size_t n, const E& filler)
  {
    if (n == size()) return;
    if (n == 0) {
      release();
      return;
    }
    detach_or_create();
    d->items.resize(n, filler);
  }

  // A body this handle owns alone (created when there is none).
  void detach_or_create()
  {
    if (!d) {
      d = new Data;
    } else if (d->ref.load(std::memory_order_acquire) != 1) {
      Data* copy = new Data;
      copy->items = d->items;
      release();
      d = copy;
    }
  }

  E* mutable_at(size_t i)
  {
    if (i >= size()) return nullptr;
    detach_or_create();
    return &d->items[i];
  }

  Data* d = nullptr;

private:
  void retain()
  {
    if (d) d->ref.fetch_add(1, std::memory_order_relaxed);
  }
  static void drop(Data* data)
  {
    if (data && data->ref.fetch_sub(1, std::memory_order_acq_rel) == 1) delete data;
  }
  void release()
  {
    drop(d);
    d = nullptr;
  }
  void free_if_empty()
  {
    if (d && d->items.empty()) release();
  }
};

// A list of values with an empty element returned for out-of-range reads (one
// per element type, so list handles stay a single pointer): the base of
// SEStringList, SEFilenameList and the reference lists of the object model.
template <class E>
class SEValueList : public SEListBase<E> {
public:
  const E& operator[](size_t i) const
  {
    static const E empty_element{};
    const E* e = this->at(i);
    return e ? *e : empty_element;
  }
  // A copy of the element; a default value when out of range.
  E operator[](size_t i)
  {
    const E* e = this->at(i);
    return e ? *e : E();
  }
  E peek() { return this->take_first(); }
  void resize(size_t n) { this->resize_to(n, E()); }
};

#endif
