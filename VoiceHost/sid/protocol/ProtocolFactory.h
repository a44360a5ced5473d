#ifndef SID_PROTOCOL_PROTOCOLFACTORY_H
#define SID_PROTOCOL_PROTOCOLFACTORY_H

#include <cstring>
#include <memory>

#include "VoiceHost/sid/protocol/BinServer.h"

namespace Sid {
namespace Protocol {

// A process-wide list of (name, constructor) pairs for protocol objects of
// type P. The server protocol "bin" (a BinServer with no API object) is
// registered statically.
template <class P>
class ProtocolFactory {
public:
  using Constructor = std::unique_ptr<P> (*)(TransportInterface* transport, const Field* descriptors);

  struct Registration {
    const char* name;
    Constructor construct;
    Registration* next;
  };

  // The first registration with this name builds the object; null when none.
  static std::unique_ptr<P> create(const char* name, TransportInterface* transport, const Field* descriptors)
  {
    if (!name) return nullptr;
    for (Registration* r = head(); r; r = r->next) {
      if (strcmp(r->name, name) == 0) return r->construct(transport, descriptors);
    }
    return nullptr;
  }

  static void add(Registration* registration)
  {
    registration->next = head();
    head() = registration;
  }

  static Registration*& head();
};

// Registers a constructor for the life of the object (normally a static).
template <class P>
class ProtocolRegistration {
public:
  ProtocolRegistration(const char* name, typename ProtocolFactory<P>::Constructor construct)
      : m_entry{name, construct, nullptr}
  {
    ProtocolFactory<P>::add(&m_entry);
  }
  ProtocolRegistration(const ProtocolRegistration&) = delete;
  ProtocolRegistration& operator=(const ProtocolRegistration&) = delete;

private:
  typename ProtocolFactory<P>::Registration m_entry;
};

// Defined beside the static "bin" registration, so that any use of the
// factory brings the registration along.
template <>
ProtocolFactory<BinServer>::Registration*& ProtocolFactory<BinServer>::head();

}  // namespace Protocol
}  // namespace Sid

#endif
