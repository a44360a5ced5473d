#include "ClientRuntime/ipc/ClientSession.h"

#include "ClientRuntime/ipc/Handshake.h"

namespace Sid {

ClientSession::ClientSession(int max_processors, const Field* descriptors)
    : Session(max_processors, max_processors, 1), m_fields(descriptors) {}

ClientSession::~ClientSession() { stop(); }

std::unique_ptr<Protocol::BinClient> ClientSession::create_protocol(Connection* connection) {
  return std::make_unique<Protocol::BinClient>(connection, m_fields);
}

std::unique_ptr<Connection> ClientSession::create_tcp_connection(const char* apptoken, const char* address,
                                                                 int port, const char* log_name, int retries,
                                                                 int retry_delay_seconds) {
  return std::make_unique<TLSTcpClientConnection>(apptoken, address, port, log_name, retries,
                                                  retry_delay_seconds, this);
}

int ClientSession::init(const char* apptoken, const char* address, int port, const char* log_name, int retries,
                        int retry_delay_seconds) {
  return init(create_tcp_connection(apptoken, address, port, log_name, retries, retry_delay_seconds), "");
}

int ClientSession::init(std::unique_ptr<Connection> connection, const char* token) {
  if (!connection) return TransportInterface::ERR_CONNECTION;
  m_connection = std::move(connection);
  m_connection->set_reader_pool(this, this);
  m_protocol = create_protocol(m_connection.get());
  TransportInterface::Status s = handshake(*m_connection, token, "OK");
  if (s == TransportInterface::OK && m_connection->is_connected()) allocate(this);
  return s;
}

void ClientSession::stop() {
  if (m_connection) m_connection->terminate();
  Session::stop();
}

} // namespace Sid
