#ifndef VOICEHOST_TRANSPORT_SOCKETTRANSPORT_H
#define VOICEHOST_TRANSPORT_SOCKETTRANSPORT_H

#include <array>
#include <cstdint>
#include <memory>

#include "VoiceHost/transport/AVTransport.h"
#include "VoiceHost/transport/Socket.h"

namespace Sid {

class SocketTransport : public AVTransport {
public:
  static constexpr size_t kBufSize = 65535;
  // The most bytes a message may collect in the write buffer; a write that
  // would go beyond it is sent directly after what is buffered.
  static constexpr size_t kMaxBuffered = kBufSize - 1;

  SocketTransport();
  ~SocketTransport() override = default;
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  bool Connect(const char* key, bool server_mode, int timeout_ms) override;
  void Disconnect() override;
  bool WriteStart() override;
  bool Write(const void* buf, size_t count) override;
  bool WriteComplete() override;
  bool ReadStart() override;
  bool Read(void* buf, size_t count) override;
  bool ReadComplete() override;

private:
  void Send(const uint8_t* data, size_t count);
  // Reads at least `min` and at most `max` bytes into `dest`.
  bool ReadAtLeast(uint8_t* dest, size_t min, size_t max, size_t& got);

  std::array<uint8_t, kBufSize> m_WrBuf{};
  size_t m_WrBufCnt = 0;
  std::array<uint8_t, kBufSize> m_RdBuf{};
  size_t m_RdBufCnt = 0;
  size_t m_RdBufRdAddr = 0;
  char m_Key[256] = {};  // a copy of the name, at most 255 characters
  std::unique_ptr<Socket> m_Socket;
};

}  // namespace Sid

#endif
