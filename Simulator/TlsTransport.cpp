#include "Simulator/TlsTransport.h"

namespace velsim {

Sid::TransportInterface::Status TlsTransport::terminate() {
  m_tls.shutdown();
  return OK;
}

size_t TlsTransport::fill(char* dst, size_t max) { return m_tls.read_some(dst, max); }

}  // namespace velsim
