#ifndef CLIENTRUNTIME_TYPES_DREF_H
#define CLIENTRUNTIME_TYPES_DREF_H

#include <cstddef>

// A typed reference whose proxy is handed out as the application's subclass D
// of the generated class B, for example DRef<CConversation, Conversation>. The
// root's factory methods must create D objects; a proxy of another type
// yields null rather than a wrong cast.
template <class D, class B>
class DRef : public B::Ref {
public:
  using Ref = typename B::Ref;

  DRef() = default;
  DRef(const Ref& ref) : Ref(ref) {}
  DRef(const DRef& other) : Ref(other) {}
  DRef& operator=(const Ref& ref) {
    Ref::operator=(ref);
    return *this;
  }
  DRef& operator=(const DRef& other) {
    Ref::operator=(other);
    return *this;
  }
  D* operator->() const { return fetch(); }
  D* fetch() const { return dynamic_cast<D*>(Ref::fetch()); }
};

// A typed list whose elements are handed out as DRef<D, B>.
template <class D, class B>
class DRefs : public B::Refs {
public:
  using Refs = typename B::Refs;

  DRefs() = default;
  DRefs(const Refs& list) : Refs(list) {}
  DRefs& operator=(const Refs& list) {
    Refs::operator=(list);
    return *this;
  }
  DRef<D, B> operator[](size_t i) const { return DRef<D, B>(Refs::operator[](i)); }
};

#endif
