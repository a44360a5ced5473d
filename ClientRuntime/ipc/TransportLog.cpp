#include "ClientRuntime/ipc/TransportLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sid {

TransportLog::TransportLog(const char* name, long size_limit) : m_size_limit(size_limit) {
  std::string base = name ? name : "";
  m_names[0] = base + "_log_in.1";
  m_names[1] = base + "_log_in.2";
  m_names[2] = base + "_log_out.1";
  m_names[3] = base + "_log_out.2";
  Finalizer::instance().add(this);
}

namespace {

// Every log writes in append mode, so that logs sharing a file each add at
// its end; the first of a name starts the file afresh.
FILE* open_log(const std::string& name, bool truncate) {
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0644);
  if (fd < 0) return nullptr;
  FILE* file = ::fdopen(fd, "ab");
  if (!file) ::close(fd);
  return file;
}

} // namespace

// Sessions of one process given the same name (the gateway names every
// account's log alike) share the files: a log opened while another of that
// name is live does not truncate them, and as every log appends, neither
// overwrites the other's bytes.
void TransportLog::open_files(bool shared) {
  m_in.file = open_log(m_names[0], !shared);
  if (!m_in.file) {
    const std::string& in = m_names[0];
    std::fprintf(stderr, "ERR: Can't write transport log %.*s\n", static_cast<int>(in.size() - 9), in.c_str());
    return;
  }
  m_out.file = open_log(m_names[2], !shared);
  if (!m_out.file) {
    std::fclose(m_in.file);
    m_in.file = nullptr;
  }
}

TransportLog::~TransportLog() {
  Finalizer::instance().del(this);
  close_files();
}

void TransportLog::close_files() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_in.file) std::fclose(m_in.file);
  if (m_out.file) std::fclose(m_out.file);
  m_in.file = m_out.file = nullptr;
}

void TransportLog::append(Direction& d, int first_name, const char* bytes, size_t n) {
  if (n == 0 || !bytes) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!d.file) return;
  size_t done = std::fwrite(bytes, 1, n, d.file);
  if (done == n) {
    std::fflush(d.file);
    // In append mode the position is the end of the file, with what other
    // logs of this name added.
    if (std::ftell(d.file) >= m_size_limit) switch_file(d, first_name, true);
    return;
  }
  // Short write: switch to the other file of the pair and write the rest there.
  switch_file(d, first_name, false);
  if (!d.file) return;
  size_t rest = n - done;
  if (std::fwrite(bytes + done, 1, rest, d.file) != rest) {
    std::fclose(d.file);
    d.file = nullptr;   // this direction stops logging
    return;
  }
  std::fflush(d.file);
}

// Hands a direction over to the other file of its pair. After a short write
// that file starts afresh. When the current one is merely full, the first
// log of the name to move on empties the other file; the others of the name
// find it already begun (below the limit) and append to it. The switch is
// made under one process-wide lock so that two logs do not both empty it.
void TransportLog::switch_file(Direction& d, int first_name, bool full) {
  std::lock_guard<std::mutex> lock(Finalizer::instance().m_switch_mutex);
  std::fclose(d.file);
  d.index = 1 - d.index;
  const std::string& name = m_names[first_name + d.index];
  bool truncate = true;
  if (full) {
    struct stat st;
    truncate = ::stat(name.c_str(), &st) != 0 || st.st_size >= m_size_limit;
  }
  d.file = open_log(name, truncate);
}

void TransportLog::write(const char* bytes, size_t n) { append(m_out, 2, bytes, n); }
void TransportLog::read(const char* bytes, size_t n) { append(m_in, 0, bytes, n); }
void TransportLog::skip_read(const char* bytes, size_t n) { append(m_in, 0, bytes, n); }
void TransportLog::skip_read_final(const char* bytes, size_t n) { append(m_in, 0, bytes, n); }

TransportLog::Finalizer& TransportLog::Finalizer::instance() {
  static Finalizer finalizer;
  return finalizer;
}

void TransportLog::Finalizer::add(TransportLog* log) {
  std::lock_guard<std::mutex> lock(m_mutex);
  bool shared = false;
  for (TransportLog* other = m_first; other && !shared; other = other->m_next)
    shared = other->m_names[0] == log->m_names[0];
  log->open_files(shared);   // under the list's lock: two new logs of one name cannot both truncate
  log->m_next = m_first;
  m_first = log;
}

void TransportLog::Finalizer::del(TransportLog* log) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (TransportLog** p = &m_first; *p; p = &(*p)->m_next) {
    if (*p == log) {
      *p = log->m_next;
      log->m_next = nullptr;
      return;
    }
  }
}

// At process exit the logs that are still open get their files closed (their
// owners, the connections, may never be destroyed: the gateway is killed).
TransportLog::Finalizer::~Finalizer() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (TransportLog* log = m_first; log; log = log->m_next) log->close_files();
  m_first = nullptr;
}

} // namespace Sid
