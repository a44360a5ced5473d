#ifndef VOICEHOST_TRANSPORT_UNIXSOCKET_H
#define VOICEHOST_TRANSPORT_UNIXSOCKET_H

#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <mutex>
#include <shared_mutex>

#include "VoiceHost/transport/Socket.h"

namespace Sid {

// The longest key that fits an abstract socket name (the path area less its
// leading zero byte and one terminating zero).
constexpr size_t kMaxSocketKey = sizeof(sockaddr_un::sun_path) - 2;

// Builds the abstract-namespace address of `key`: the path area zeroed, its
// first byte 0 and the key from the second byte. The whole structure is the
// address (its size is what bind and connect are given), so the name is the
// 107 bytes after the leading zero, trailing zeros included. False when the
// key is longer than kMaxSocketKey.
bool MakeSocketAddress(const char* key, sockaddr_un& addr);

class UnixSocket : public Socket {
public:
  UnixSocket() = default;
  ~UnixSocket() override;
  UnixSocket(const UnixSocket&) = delete;
  UnixSocket& operator=(const UnixSocket&) = delete;

  bool Connect(const char* key, bool server_mode, int timeout_ms) override;
  void Disconnect() override;
  bool IsConnected() override;
  ssize_t Write(const void* buf, size_t count) override;
  ssize_t Read(void* buf, size_t count) override;
  bool PollRead() override;
  bool PollWrite() override;

private:
  bool ServerConnect(int timeout_ms);
  bool ClientConnect();
  bool Poll(int socket, short events, int timeout_ms);
  // Makes `fd` the data socket unless a Disconnect has cancelled the connect.
  bool Publish(int fd);
  const char* Key();

  // Guards m_Key, m_Cancel and the publication and removal of descriptors.
  std::mutex m_StateMutex;
  // Held shared by every operation on the data socket and exclusively while
  // it is closed, so that no thread uses a descriptor number after its close.
  std::shared_mutex m_IoLock;

  const char* m_Key = nullptr;  // borrowed from the caller of Connect
  bool m_ServerMode = false;
  std::atomic<bool> m_IsConnected{false};
  std::atomic<int> m_ListenSocket{-1};
  std::atomic<int> m_Socket{-1};
  // A Disconnect arrived while no connection existed: the connect under way,
  // or the next one to start, fails.
  bool m_Cancel = false;
};

}  // namespace Sid

#endif
