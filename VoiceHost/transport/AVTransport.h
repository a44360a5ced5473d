#ifndef VOICEHOST_TRANSPORT_AVTRANSPORT_H
#define VOICEHOST_TRANSPORT_AVTRANSPORT_H

#include <cstddef>
#include <memory>

namespace Sid {

// A buffered byte stream over a Socket: writes are collected until the
// message is complete, reads are served from a buffer refilled with what is
// available.
class AVTransport {
public:
  virtual ~AVTransport() = default;
  virtual bool Connect(const char* key, bool server_mode, int timeout_ms) = 0;
  virtual void Disconnect() = 0;
  virtual bool WriteStart() = 0;
  virtual bool Write(const void* buf, size_t count) = 0;
  virtual bool WriteComplete() = 0;
  virtual bool ReadStart() = 0;
  // Reads exactly `count` bytes; false when the connection failed first.
  virtual bool Read(void* buf, size_t count) = 0;
  virtual bool ReadComplete() = 0;
};

std::unique_ptr<AVTransport> GetAVTransport();

}  // namespace Sid

#endif
