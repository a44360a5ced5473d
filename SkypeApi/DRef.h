#ifndef SKYPEAPI_DREF_H
#define SKYPEAPI_DREF_H

// A reference to a remote object whose proxy is the gateway's subclass T of
// the API class Base (the session's factory creates only those). The client
// runtime's own DRef is used where it has one.
#if __has_include("ClientRuntime/types/DRef.h")
#include "ClientRuntime/types/DRef.h"
#else
template <class T, class Base>
class DRef : public Base::Ref {
public:
  using Ref = typename Base::Ref;
  DRef() = default;
  DRef(const Ref& other) : Ref(other) {}  // NOLINT: converts like the typed references
  DRef& operator=(const Ref& other) {
    Ref::operator=(other);
    return *this;
  }
  T* operator->() const { return fetch(); }
  T* fetch() const { return static_cast<T*>(Ref::fetch()); }
};
#endif

#endif
