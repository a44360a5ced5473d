#include "VoiceHost/transport/SocketTransport.h"

#include <errno.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "VoiceHost/transport/AVTrace.h"

namespace Sid {

std::unique_ptr<AVTransport> GetAVTransport() { return std::make_unique<SocketTransport>(); }

SocketTransport::SocketTransport() : m_Socket(GetSocket()) {
  if (!m_Socket) {
    fprintf(stderr, "%s:%d: assertion failed: m_Socket\n", __FILE__, __LINE__);
    abort();
  }
}

bool SocketTransport::Connect(const char* key, bool server_mode, int timeout_ms) {
  // The socket keeps a pointer to m_Key: it is not rewritten under a live connection.
  if (!m_Socket->IsConnected()) snprintf(m_Key, sizeof m_Key, "%s", key ? key : "");
  return m_Socket->Connect(m_Key, server_mode, timeout_ms);
}

void SocketTransport::Disconnect() { m_Socket->Disconnect(); }

bool SocketTransport::WriteStart() {
  m_WrBufCnt = 0;
  return true;
}

void SocketTransport::Send(const uint8_t* data, size_t count) {
  while (count > 0) {
    size_t piece = count < kBufSize ? count : kBufSize;
    ssize_t n = m_Socket->Write(data, piece);
    if (n > 0) {
      data += n;
      count -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (m_Socket->PollWrite()) continue;
    }
    AV_TRACE("write failed errno: %d\n", errno);
    return;  // the rest of the message is dropped
  }
}

bool SocketTransport::Write(const void* buf, size_t count) {
  const uint8_t* src = static_cast<const uint8_t*>(buf);
  if (m_WrBufCnt + count <= kMaxBuffered) {
    memcpy(m_WrBuf.data() + m_WrBufCnt, src, count);
    m_WrBufCnt += count;
    return true;
  }
  Send(m_WrBuf.data(), m_WrBufCnt);
  m_WrBufCnt = 0;
  Send(src, count);
  return true;
}

bool SocketTransport::WriteComplete() {
  Send(m_WrBuf.data(), m_WrBufCnt);
  m_WrBufCnt = 0;
  return true;
}

bool SocketTransport::ReadStart() { return true; }

bool SocketTransport::ReadComplete() { return true; }

bool SocketTransport::ReadAtLeast(uint8_t* dest, size_t min, size_t max, size_t& got) {
  got = 0;
  while (got < min) {
    if (!m_Socket->PollRead()) {
      AV_TRACE("Poll error: %d\n", errno);
      return false;
    }
    ssize_t n = m_Socket->Read(dest + got, max - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    // 0: the peer closed the connection.
    AV_TRACE("Read error: %d\n", n == 0 ? 0 : errno);
    return false;
  }
  return true;
}

bool SocketTransport::Read(void* buf, size_t count) {
  if (count == 0) return true;
  uint8_t* dest = static_cast<uint8_t*>(buf);
  size_t held = m_RdBufCnt - m_RdBufRdAddr;
  size_t take = held < count ? held : count;
  memcpy(dest, m_RdBuf.data() + m_RdBufRdAddr, take);
  m_RdBufRdAddr += take;
  dest += take;
  count -= take;
  if (count == 0) return true;
  m_RdBufCnt = m_RdBufRdAddr = 0;
  size_t got = 0;
  if (count >= kBufSize) return ReadAtLeast(dest, count, count, got);
  if (!ReadAtLeast(m_RdBuf.data(), count, kBufSize, got)) return false;
  m_RdBufCnt = got;
  memcpy(dest, m_RdBuf.data(), count);
  m_RdBufRdAddr = count;
  return true;
}

}  // namespace Sid
