#include "ClientRuntime/ipc/Handshake.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace Sid {

TransportInterface::Status handshake(Connection& connection, const char* token, const char* expected) {
  const char* tok = token ? token : "";
  size_t len = std::strlen(tok);
  char prefix[9];
  std::snprintf(prefix, sizeof prefix, "%08x", static_cast<unsigned>(len));
  bool ok = connection.bl_start_encoding(nullptr) == TransportInterface::OK;
  if (ok) {
    ok = connection.bl_write_bytes(nullptr, 8, prefix) == TransportInterface::OK;
    if (ok && len) ok = connection.bl_write_bytes(nullptr, static_cast<unsigned>(len), tok) == TransportInterface::OK;
    ok = connection.end_encoding(nullptr, true) == TransportInterface::OK && ok;
  }
  if (ok) {
    const char* exp = expected ? expected : "";
    size_t n = std::strlen(exp);
    std::string reply(n, '\0');
    ok = connection.bl_read_bytes(nullptr, static_cast<unsigned>(n), reply.data()) == TransportInterface::OK &&
         reply == exp;
  }
  if (!ok) {
    connection.terminate();
    return TransportInterface::ERR_CONNECTION;
  }
  return TransportInterface::OK;
}

} // namespace Sid
