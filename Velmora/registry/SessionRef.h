#ifndef VELMORA_REGISTRY_SESSIONREF_H
#define VELMORA_REGISTRY_SESSIONREF_H

#include <cstddef>

#include "Velmora/registry/GuardedRef.h"

class CSkype;

// An account's client session object, shared: the supervision loop replaces
// it while call control, the voice host and the session's own callbacks may
// still be using the old one, which goes when its last user lets go.
class SessionRef : public GuardedRef<CSkype> {
public:
  SessionRef() = default;
  SessionRef& operator=(std::nullptr_t) {
    reset();
    return *this;
  }
};

#endif
