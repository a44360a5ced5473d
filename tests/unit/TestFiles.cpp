#include "tests/unit/TestFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  char templ[] = "/tmp/velmora-test-XXXXXX";
  if (!mkdtemp(templ)) throw std::runtime_error("mkdtemp failed");
  d_dir = std::string(templ) + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(d_dir, ec);
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

LockHolder::LockHolder(const std::string& path, bool exclusive) {
  int ready[2], stop[2];
  if (pipe(ready) != 0 || pipe(stop) != 0) return;
  d_child = fork();
  if (d_child == 0) {
    close(ready[0]);
    close(stop[1]);
    int fd = open(path.c_str(), exclusive ? O_RDWR | O_CREAT : O_RDONLY, 0644);
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    char ok = (fd >= 0 && fcntl(fd, F_SETLKW, &fl) == 0) ? '1' : '0';
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    char c;
    while (read(stop[0], &c, 1) < 0) {
    }
    _exit(0);
  }
  close(ready[1]);
  close(stop[0]);
  d_release_fd = stop[1];
  char ok = '0';
  if (d_child > 0 && read(ready[0], &ok, 1) == 1) d_held = ok == '1';
  close(ready[0]);
}

void LockHolder::release() {
  if (d_child <= 0) return;
  // Closing the pipe alone is not enough: children forked later hold copies
  // of its write end. The lock goes with the process.
  kill(d_child, SIGKILL);
  close(d_release_fd);
  int status;
  waitpid(d_child, &status, 0);
  d_child = -1;
  d_held = false;
}

LockHolder::~LockHolder() { release(); }
