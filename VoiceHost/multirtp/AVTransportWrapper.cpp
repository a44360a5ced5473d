#include "VoiceHost/multirtp/AVTransportWrapper.h"

#include "VoiceHost/transport/AVTrace.h"

namespace Sid {

AVTransportWrapper::AVTransportWrapper() : m_Transport(GetAVTransport()) {}

AVTransportWrapper::AVTransportWrapper(std::unique_ptr<AVTransport> transport) : m_Transport(std::move(transport)) {}

AVTransportWrapper::~AVTransportWrapper() {
  m_Transport.reset();
  av_print("~AVTransportWrapper exit\n");
}

bool AVTransportWrapper::Connect(const char* key, bool server_mode, int timeout_ms) {
  if (m_Connected) {
    AV_TRACE("AVTransportWrapper (%s): already connected\n", key ? key : "");
    return false;
  }
  if (!m_Transport->Connect(key, server_mode, timeout_ms == 0 ? -1 : timeout_ms)) return false;
  m_Connected = true;
  av_print("AVTransportWrapper (%s): connected!\n", key ? key : "");
  return true;
}

bool AVTransportWrapper::Check() {
  if (m_Connected) return true;
  AV_TRACE("!m_Connected\n");
  return false;
}

TransportInterface::Status AVTransportWrapper::bl_start_decoding(CommandInitiator*) {
  if (!Check()) return ERR_READ;
  return m_Transport->ReadStart() ? OK : ERR_READ;
}

TransportInterface::Status AVTransportWrapper::bl_read_bytes(CommandInitiator*, unsigned num_bytes, char* dest) {
  if (!Check()) return ERR_READ;
  if (dest) return m_Transport->Read(dest, num_bytes) ? OK : ERR_READ;
  char scratch;
  for (unsigned i = 0; i < num_bytes; ++i) {
    if (!m_Transport->Read(&scratch, 1)) return ERR_READ;
  }
  return OK;
}

TransportInterface::Status AVTransportWrapper::end_decoding(CommandInitiator*) {
  if (!Check()) return ERR_READ;
  return m_Transport->ReadComplete() ? OK : ERR_READ;
}

TransportInterface::Status AVTransportWrapper::bl_start_encoding(CommandInitiator*) {
  if (!Check()) return ERR_WRITE;
  return m_Transport->WriteStart() ? OK : ERR_WRITE;
}

TransportInterface::Status AVTransportWrapper::bl_write_bytes(CommandInitiator*, unsigned num_bytes,
                                                              const char* src) {
  if (!Check()) return ERR_WRITE;
  return m_Transport->Write(src, num_bytes) ? OK : ERR_WRITE;
}

TransportInterface::Status AVTransportWrapper::end_encoding(CommandInitiator*, bool) {
  // Every message is sent as soon as it is complete.
  if (!Check()) return ERR_WRITE;
  return m_Transport->WriteComplete() ? OK : ERR_WRITE;
}

TransportInterface::Status AVTransportWrapper::terminate() {
  m_Transport->Disconnect();
  m_Connected = false;
  return OK;
}

}  // namespace Sid
