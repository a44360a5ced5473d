#include "Tools/FileLayer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool set_lock(int fd, short type) {
  struct flock fl;
  memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  fl.l_pid = getpid();
  return fcntl(fd, F_SETLK, &fl) == 0;
}

// A descriptor of 0 is not usable (it counts as failure for the callers), so
// when standard input is closed the file is moved to a higher descriptor and
// 0 is parked on /dev/null, which keeps later opens from landing there.
int avoid_zero(int fd) {
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  int parked = open("/dev/null", O_RDWR);
  if (parked > 0) close(parked);  // something else already took 0
  return moved;
}

}  // namespace

int gw_fopen(const char* path, int flags, const char* mode) {
  if (!path || !mode) return -1;
  int fd;
  short lock;
  bool truncate = false;
  if (strcmp(mode, "r") == 0) {
    fd = open(path, O_RDONLY | O_CLOEXEC);
    lock = F_RDLCK;
  } else if (strcmp(mode, "w") == 0) {
    truncate = (flags & O_TRUNC) != 0;
    fd = open(path, (flags & ~O_TRUNC) | O_CLOEXEC, 0777);
    lock = F_WRLCK;
  } else {
    return -1;
  }
  if (fd < 0) return -1;
  fd = avoid_zero(fd);
  if (fd <= 0) return -1;
  if (!set_lock(fd, lock)) {
    close(fd);
    return -1;
  }
  if (truncate && ftruncate(fd, 0) != 0) {
    gw_fclose(fd);
    return -1;
  }
  return fd;
}

int gw_fclose(int fd) {
  if (fd > 0) set_lock(fd, F_UNLCK);
  if (fd < 0) return -1;
  return close(fd);
}

int gw_fsize(int fd) {
  if (fd <= 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  if (st.st_size > 0x7fffffff) return -1;
  return static_cast<int>(st.st_size);
}

int gw_fread(int fd, char* buf, int size) {
  if (fd <= 0 || !buf || size <= 0) return -1;
  ssize_t n = read(fd, buf, static_cast<size_t>(size));
  return n < 0 ? -1 : static_cast<int>(n);
}

int gw_fwrite(int fd, const char* buf, int size) {
  if (fd <= 0 || !buf || size <= 0) return -1;
  ssize_t n = write(fd, buf, static_cast<size_t>(size));
  return n < 0 ? -1 : static_cast<int>(n);
}

void gw_free_strarray(char** lines, int count) {
  if (!lines) return;
  for (int i = 0; i < count; ++i) free(lines[i]);
  free(lines);
}

int gw_getline(char*** lines, int* count, const char* buf, int size) {
  if (!lines || !count || !buf || size <= 0) return -1;
  if (memchr(buf, '\0', static_cast<size_t>(size))) return -1;
  char** array = nullptr;
  int used = 0;
  int capacity = 0;
  int pos = 0;
  while (pos < size) {
    int end = pos;
    while (end < size - 1 && buf[end] != '\r' && buf[end] != '\n') ++end;
    int len = end - pos + 1;  // the line keeps its break (or is the buffer's tail)
    if (used == capacity) {
      capacity += 16;
      char** grown = static_cast<char**>(realloc(array, sizeof(char*) * static_cast<size_t>(capacity)));
      if (!grown) {
        gw_free_strarray(array, used);
        return -1;
      }
      array = grown;
    }
    char* line = static_cast<char*>(malloc(static_cast<size_t>(len) + 1));
    if (!line) {
      gw_free_strarray(array, used);
      return -1;
    }
    memcpy(line, buf + pos, static_cast<size_t>(len));
    line[len] = '\0';
    array[used++] = line;
    pos = end + 1;
    while (pos < size && (buf[pos] == '\r' || buf[pos] == '\n')) ++pos;
  }
  char** exact = static_cast<char**>(realloc(array, sizeof(char*) * static_cast<size_t>(used)));
  if (exact) array = exact;
  *lines = array;
  *count = used;
  return 0;
}
