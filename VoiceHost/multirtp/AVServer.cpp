#include "VoiceHost/multirtp/AVServer.h"

#include <cstdio>

#include "VoiceHost/multirtp/BoundedReaders.h"
#include "VoiceHost/transport/AVTrace.h"

namespace Sid {

AVServer::AVServer(const Field* fields) : m_protocol(nullptr, &m_transport, fields) {
  MultiRTP::LimitValueSizes(m_protocol);
}

AVServer::AVServer(const Field* fields, std::unique_ptr<AVTransport> transport)
    : m_transport(std::move(transport)), m_protocol(nullptr, &m_transport, fields) {
  MultiRTP::LimitValueSizes(m_protocol);
}

bool AVServer::Connect(const char* key, int timeout_ms) {
  if (m_DisconnectPending) return false;
  snprintf(m_transport_key, sizeof m_transport_key, "%s", key ? key : "");
  m_TimeoutMs = timeout_ms;
  return m_transport.Connect(m_transport_key, true, timeout_ms);
}

void AVServer::Disconnect() {
  m_DisconnectPending = true;
  m_transport.terminate();
}

int AVServer::ProcessCommands() {
  Protocol::Command cmd = Protocol::CMD_RESERVED;
  Protocol::Status st = m_protocol.rd_command(nullptr, cmd);
  if (st != Protocol::OK) {
    m_protocol.resync_decode(nullptr);
    AV_TRACE("AVServerSession::ProcessCommands command reading failed: %d\n", st);
    return st;
  }
  if (cmd != Protocol::CMD_XCALL) {
    m_protocol.resync_decode(nullptr);
    AV_TRACE("AVServerSession::ProcessCommands Unknown command %d\n", cmd);
    return Protocol::ERR_DECODE;
  }
  unsigned modid = 0, method = 0, rid = 0;
  st = m_protocol.rd_call(nullptr, modid, method, rid);
  if (st != Protocol::OK) {
    m_protocol.resync_decode(nullptr);
    return st;
  }
  st = ProcessCall(rid, method);
  if (st == Protocol::ERR_CALL) {
    AV_TRACE("AVServerSession::ProcessCommands ProcessCall failed with ERR_CALL, respond with error\n");
    Protocol::Status w = m_protocol.wr_response_error(nullptr, rid);
    AV_TRACE("AVServerSession::ProcessCommands ProcessCall wr_response_error ret %d\n", w);
    return w;
  }
  if (st != Protocol::OK) {
    m_protocol.resync_decode(nullptr);
    AV_TRACE("AVServerSession::ProcessCommands ProcessCall failed with status=%d\n", st);
    return st;
  }
  return 0;
}

}  // namespace Sid
