#include "Tools/FileAccess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <new>

#include "Tools/FileLayer.h"
#include "Tools/ReadXmlTrace.h"

FileLines::~FileLines() { gw_free_strarray(lines, count); }

LockedFile::~LockedFile() { close(); }

int LockedFile::release() {
  int fd = d_fd;
  d_fd = -1;
  return fd;
}

void LockedFile::close() {
  if (d_fd > 0) gw_fclose(d_fd);
  d_fd = -1;
}

void gw_sleep_ms(int ms) {
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int gw_fopen_retry(const char* path, int flags, const char* mode, const char* who, int attempts,
                   int delay_ms) {
  for (int countopen = 1; countopen <= attempts; ++countopen) {
    int fd = gw_fopen(path, flags, mode);
    if (fd > 0) return fd;
    if (countopen == attempts) break;
    RX_TRACE("%s countopen=%d \n\n", who, countopen);
    gw_sleep_ms(delay_ms);
  }
  return -1;
}

bool gw_file_exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

bool gw_read_exact(int fd, char* buf, int size, const char* who) {
  int got = 0;
  for (int countopen = 1; countopen <= GW_OPEN_ATTEMPTS && got < size; ++countopen) {
    int n = gw_fread(fd, buf + got, size - got);
    if (n > 0) got += n;
    if (got >= size) break;
    RX_TRACE("%s read countopen=%d \n\n", who, countopen);
    gw_sleep_ms(GW_RETRY_MS);
  }
  return got >= size;
}

bool gw_write_all(int fd, const char* buf, int size) {
  int done = 0;
  while (done < size) {
    int n = gw_fwrite(fd, buf + done, size - done);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

int gw_read_whole(int fd, const char* who, std::string& text) {
  int size = gw_fsize(fd);
  if (size < 0) return -1;
  text.clear();
  if (size == 0) return 0;
  if (lseek(fd, 0, SEEK_SET) < 0) return -1;
  try {
    text.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (!gw_read_exact(fd, text.data(), size, who)) {
    RX_TRACE("%s read error! \n\n", who);
    text.clear();
    return -1;
  }
  return 0;
}

int gw_load_lines(const std::string& path, const char* who, FileLines& out) {
  LockedFile file(gw_fopen_retry(path.c_str(), GW_APPEND, "r", who));
  if (!file.ok()) return -1;
  std::string text;
  if (gw_read_whole(file.fd(), who, text) != 0) return -1;
  file.close();
  if (text.empty()) return 0;
  if (gw_getline(&out.lines, &out.count, text.data(), static_cast<int>(text.size())) != 0) return -1;
  return 0;
}
