#ifndef CLIENTRUNTIME_IPC_TRANSPORTLOG_H
#define CLIENTRUNTIME_IPC_TRANSPORTLOG_H

#include <cstdio>
#include <mutex>
#include <string>

namespace Sid {

// Records the raw bytes of one connection, one pair of files per direction:
// "<name>_log_in.1"/".2" and "<name>_log_out.1"/".2". When a write into the
// current file of a pair comes up short (disk full, size limit), the other
// file of the pair is started afresh and takes the rest. A file that has
// reached `size_limit` bytes is handed over the same way, so a session that
// runs for months keeps at most two files' worth of each direction on disk.
// Logs of one name that are live at once share the files (the later ones
// append).
class TransportLog {
public:
  static constexpr long kDefaultSizeLimit = 4L * 1024 * 1024;

  explicit TransportLog(const char* name, long size_limit = kDefaultSizeLimit);
  ~TransportLog();
  TransportLog(const TransportLog&) = delete;
  TransportLog& operator=(const TransportLog&) = delete;

  void write(const char* bytes, size_t n);          // outgoing
  void read(const char* bytes, size_t n);           // incoming, delivered
  void skip_read(const char* bytes, size_t n);      // incoming, discarded
  void skip_read_final(const char* bytes, size_t n);

  const std::string& file_name(bool input, int index) const { return m_names[(input ? 0 : 2) + index]; }

  // Process-wide list of the logs still open; closes their files at exit.
  class Finalizer {
  public:
    static Finalizer& instance();
    // Registers the log and opens its files.
    void add(TransportLog* log);
    void del(TransportLog* log);
    ~Finalizer();

  private:
    Finalizer() = default;
    std::mutex m_mutex;
    std::mutex m_switch_mutex;   // taken after a log's own lock, never before
    TransportLog* m_first = nullptr;
    friend class TransportLog;
  };

private:
  struct Direction {
    FILE* file = nullptr;
    int index = 0;   // file of the pair in use
  };
  void append(Direction& d, int first_name, const char* bytes, size_t n);
  void switch_file(Direction& d, int first_name, bool full);
  void open_files(bool shared);
  void close_files();

  std::mutex m_mutex;
  Direction m_in;
  Direction m_out;
  std::string m_names[4];
  long m_size_limit;
  TransportLog* m_next = nullptr;
  friend class Finalizer;
};

} // namespace Sid

#endif
