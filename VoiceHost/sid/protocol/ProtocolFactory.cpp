#include "VoiceHost/sid/protocol/ProtocolFactory.h"

namespace Sid {
namespace Protocol {

template <>
ProtocolFactory<BinServer>::Registration*& ProtocolFactory<BinServer>::head()
{
  static Registration* first = nullptr;
  return first;
}

namespace {

std::unique_ptr<BinServer> make_bin_server(TransportInterface* transport, const Field* descriptors)
{
  return std::make_unique<BinServer>(nullptr, transport, descriptors);
}

const ProtocolRegistration<BinServer> s_bin_registration("bin", &make_bin_server);

}  // namespace

}  // namespace Protocol
}  // namespace Sid
