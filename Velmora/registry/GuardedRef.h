#ifndef VELMORA_REGISTRY_GUARDEDREF_H
#define VELMORA_REGISTRY_GUARDEDREF_H

#include <atomic>
#include <memory>
#include <mutex>

// A shared reference that several threads set, read and clear: each reader
// takes its own reference under the lock, so the object lives as long as
// anyone still uses it. T may be incomplete where the field is declared.
template <class T>
class GuardedRef {
public:
  GuardedRef() = default;
  GuardedRef(const GuardedRef& other) : d_ptr(other.get()) {}
  GuardedRef& operator=(const GuardedRef& other) {
    if (this != &other) set(other.get());
    return *this;
  }

  std::shared_ptr<T> get() const {
    std::lock_guard<std::mutex> lock(d_mutex);
    return d_ptr;
  }
  // The previous object, if this was its last reference, is destroyed
  // after the lock is released.
  void set(std::shared_ptr<T> ptr) {
    {
      std::lock_guard<std::mutex> lock(d_mutex);
      d_ptr.swap(ptr);
    }
  }
  void reset() { set(nullptr); }
  explicit operator bool() const { return get() != nullptr; }

private:
  mutable std::mutex d_mutex;
  std::shared_ptr<T> d_ptr;
};

// A flag set on one thread and tested on another (a stop request).
class SharedFlag {
public:
  SharedFlag(bool value = false) : d_value(value) {}  // NOLINT: used as a bool field
  SharedFlag(const SharedFlag& other) : d_value(other.d_value.load()) {}
  SharedFlag& operator=(const SharedFlag& other) {
    d_value = other.d_value.load();
    return *this;
  }
  SharedFlag& operator=(bool value) {
    d_value = value;
    return *this;
  }
  operator bool() const { return d_value.load(); }  // NOLINT

private:
  std::atomic<bool> d_value;
};

#endif
