#ifndef VELMORA_TOOLS_FILEACCESS_H
#define VELMORA_TOOLS_FILEACCESS_H

// Retrying opens and whole-file loads on top of the file layer.

#include <string>

constexpr int GW_OPEN_ATTEMPTS = 6;
constexpr int GW_RETRY_MS = 10;

// The lines of a loaded file; frees them when it goes.
class FileLines {
public:
  FileLines() = default;
  ~FileLines();
  FileLines(const FileLines&) = delete;
  FileLines& operator=(const FileLines&) = delete;

  char** lines = nullptr;
  int count = 0;
};

// Owns a descriptor from gw_fopen; closes it (releasing the lock) when it goes.
class LockedFile {
public:
  LockedFile() = default;
  explicit LockedFile(int fd) : d_fd(fd) {}
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  int fd() const { return d_fd; }
  bool ok() const { return d_fd > 0; }
  int release();  // hands the descriptor over without closing it
  void close();

private:
  int d_fd = -1;
};

void gw_sleep_ms(int ms);

// gw_fopen tried up to `attempts` times, `delay_ms` apart; each retry is
// traced as "<who> countopen=<n>". Returns the descriptor or -1.
int gw_fopen_retry(const char* path, int flags, const char* mode, const char* who,
                   int attempts = GW_OPEN_ATTEMPTS, int delay_ms = GW_RETRY_MS);

bool gw_file_exists(const char* path);

// Reads `size` bytes from the current position of `fd` into `buf`, up to 6
// attempts 10 ms apart; false when they did not all arrive.
bool gw_read_exact(int fd, char* buf, int size, const char* who);

// Writes all of `buf`; false on an error.
bool gw_write_all(int fd, const char* buf, int size);

// Loads a whole file: opens it for reading (6 attempts 10 ms apart), reads it
// whole (6 attempts) and splits it into lines. Returns 0 with the lines (none
// for an empty file), or -1 when the file cannot be opened, read or split.
int gw_load_lines(const std::string& path, const char* who, FileLines& out);

// Reads the whole of an already open file from its start into `text`.
int gw_read_whole(int fd, const char* who, std::string& text);

#endif
