#include "ClientRuntime/ipc/Connection.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "ClientRuntime/ipc/Session.h"

namespace Sid {
namespace {

void sleep_ms(long ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

} // namespace

Connection::Connection(const char* log_name) {
  if (log_name) m_log = std::make_unique<TransportLog>(log_name);
}

Connection::~Connection() = default;

Connection::Status Connection::send_all(unsigned n, const char* buf, bool immediate) {
  unsigned done = 0;
  while (done < n) {
    int r = send(n - done, buf + done, immediate);
    if (r == 0) {
      sleep_ms(1);
      continue;
    }
    if (r < 0) return ERR_WRITE;
    if (m_log) m_log->write(buf + done, static_cast<size_t>(r));
    done += static_cast<unsigned>(r);
  }
  return OK;
}

Connection::Status Connection::bl_start_encoding(CommandInitiator*) {
  m_write_lock.lock();
  m_out_count = 0;
  return OK;
}

Connection::Status Connection::bl_write_bytes(CommandInitiator*, unsigned n, const char* src) {
  if (m_out_count + n <= BUFFER_SIZE) {
    if (n) std::memcpy(m_out + m_out_count, src, n);
    m_out_count += n;
    return OK;
  }
  Status s = send_all(m_out_count, m_out, false);
  m_out_count = 0;
  if (s != OK) return s;
  return send_all(n, src, false);
}

Connection::Status Connection::end_encoding(CommandInitiator*, bool immediate) {
  Status s = send_all(m_out_count, m_out, immediate);
  m_out_count = 0;
  m_write_lock.unlock();
  return s;
}

// One recv() with the retry rule: 0 waits a millisecond and tries again, a
// failure closes the connection.
Connection::Status Connection::recv_some(unsigned min, char* buf, unsigned capacity, unsigned& got) {
  for (;;) {
    int r = recv(min, buf, capacity);
    if (r > 0) {
      got = std::min(static_cast<unsigned>(r), std::max(min, capacity));
      if (m_log) m_log->read(buf, got);
      return OK;
    }
    if (r < 0) {
      terminate();
      return ERR_READ;
    }
    sleep_ms(1);
  }
}

Connection::Status Connection::bl_read_bytes(CommandInitiator*, unsigned n, char* dst) {
  if (n == 0) return OK;
  if (m_in_count >= n) {
    if (dst) std::memcpy(dst, m_in + m_in_pos, n);
    m_in_pos += n;
    m_in_count -= n;
    return OK;
  }
  unsigned done = 0;
  if (m_in_count) {
    if (dst) std::memcpy(dst, m_in + m_in_pos, m_in_count);
    done = m_in_count;
    m_in_pos = m_in_count = 0;
  }
  char scratch[256];
  while (n - done > 1) {
    unsigned got = 0;
    char* into = dst ? dst + done : scratch;
    unsigned want = dst ? n - done - 1 : std::min(n - done - 1, 256u);
    Status s = recv_some(want, into, 0, got);
    if (s != OK) return s;
    done += got;
  }
  // The last byte comes through the look-ahead buffer, which keeps whatever
  // else that read delivered.
  unsigned got = 0;
  Status s = recv_some(1, m_in, BUFFER_SIZE, got);
  if (s != OK) return s;
  if (dst) dst[done] = m_in[0];
  m_in_pos = 1;
  m_in_count = got - 1;
  return OK;
}

Connection::Status Connection::bl_start_decoding(CommandInitiator*) { return OK; }

Connection::Status Connection::end_decoding(CommandInitiator* thread) {
  // The message is read: another processor takes the next one while this
  // thread acts on it.
  // The next reader always comes from this connection's own pool, also when
  // the thread that read this message belongs to another session's pool.
  if (m_hold_turn.load()) return OK;
  if (m_pool) {
    if (thread) m_pool->allocate(m_reader);
  } else if (thread) {
    thread->fork();
  }
  return OK;
}

Connection::Status Connection::end_decoding_with_error(CommandInitiator* thread) {
  if (!is_connected()) return ERR_READ;
  end_decoding(thread);
  return OK;
}

} // namespace Sid
