#ifndef CLIENTRUNTIME_IPC_CONNECTION_H
#define CLIENTRUNTIME_IPC_CONNECTION_H

#include <atomic>
#include <memory>
#include <mutex>

#include "ClientRuntime/ipc/ConnectionStateListener.h"
#include "ClientRuntime/ipc/TransportBase.h"
#include "ClientRuntime/ipc/TransportLog.h"

namespace Sid {

class Session;
class CommandInterface;

// The byte stream to one runtime, as the protocol sees it: small look-ahead
// and output buffers over recv()/send(), a write lock held for the whole of
// one outgoing command, and the raw bytes copied into the transport log.
class Connection : public TransportInterface {
public:
  static constexpr unsigned BUFFER_SIZE = 192;

  explicit Connection(const char* log_name);
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Status bl_start_decoding(CommandInitiator* thread) override;
  Status bl_read_bytes(CommandInitiator* thread, unsigned n, char* dst) override;
  Status end_decoding(CommandInitiator* thread) override;
  Status end_decoding_with_error(CommandInitiator* thread) override;
  Status bl_start_encoding(CommandInitiator* thread) override;
  Status bl_write_bytes(CommandInitiator* thread, unsigned n, const char* src) override;
  Status end_encoding(CommandInitiator* thread, bool immediate) override;

  // At least one byte, at most max(min, capacity): the count, 0 for "nothing
  // yet, try again", negative when the connection failed.
  virtual int recv(unsigned min, char* buf, unsigned capacity) = 0;
  // Some of the n bytes: the count sent, 0 for "try again", negative on failure.
  virtual int send(unsigned n, const char* buf, bool immediate) = 0;

  bool is_connected() const { return m_fd.load() != -1; }
  int get_fd() const { return m_fd.load(); }
  void set_connstate_listener(ConnectionStateListener* l) { m_listener = l; }
  ConnectionStateListener* get_connstate_listener() const { return m_listener; }
  TransportLog* get_transport_log() const { return m_log.get(); }
  unsigned buffered_output() const { return m_out_count; }
  // Where the reading of the next command is handed when one has been read:
  // the owning session's pool. Without one, the initiator's own session is asked.
  // While a waiting caller reads the wire itself it keeps the reading turn
  // across the messages it stores for later.
  void hold_reading_turn(bool hold) { m_hold_turn = hold; }
  void set_reader_pool(Session* pool, CommandInterface* reader) {
    m_pool = pool;
    m_reader = reader;
  }

protected:
  std::atomic<int> m_fd{-1};
  ConnectionStateListener* m_listener = nullptr;

private:
  Status send_all(unsigned n, const char* buf, bool immediate);
  Status recv_some(unsigned min, char* buf, unsigned capacity, unsigned& got);

  std::unique_ptr<TransportLog> m_log;
  Session* m_pool = nullptr;
  CommandInterface* m_reader = nullptr;
  std::atomic<bool> m_hold_turn{false};
  char m_in[BUFFER_SIZE];
  unsigned m_in_pos = 0;
  unsigned m_in_count = 0;
  char m_out[BUFFER_SIZE];
  unsigned m_out_count = 0;
  std::mutex m_write_lock;
};

} // namespace Sid

#endif
