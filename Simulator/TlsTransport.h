#ifndef SIMULATOR_TLSTRANSPORT_H
#define SIMULATOR_TLSTRANSPORT_H

#include "Simulator/StreamTransport.h"
#include "Simulator/TlsClient.h"

namespace velsim {

// What the gateway sends over the TLS client connection, as the protocol
// reader's transport. terminate() ends the connection from any thread.
class TlsTransport : public StreamTransport {
public:
  explicit TlsTransport(TlsClient& tls) : m_tls(tls) {}
  Status terminate() override;

protected:
  size_t fill(char* dst, size_t max) override;

private:
  TlsClient& m_tls;
};

}  // namespace velsim

#endif
