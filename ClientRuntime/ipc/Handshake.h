#ifndef CLIENTRUNTIME_IPC_HANDSHAKE_H
#define CLIENTRUNTIME_IPC_HANDSHAKE_H

#include "ClientRuntime/ipc/Connection.h"

namespace Sid {

// The session's opening exchange: the token's length as "%08x", the token,
// then exactly strlen(expected) bytes that must equal `expected`. OK, or
// ERR_CONNECTION after closing the connection.
TransportInterface::Status handshake(Connection& connection, const char* token, const char* expected);

} // namespace Sid

#endif
