#ifndef VELMORA_TESTS_UNIT_TESTFILES_H
#define VELMORA_TESTS_UNIT_TESTFILES_H

// Helpers for tests that work on real files: a temporary directory per test,
// whole-file read and write, and a child process that holds an fcntl lock.

#include <sys/types.h>

#include <string>

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& dir() const { return d_dir; }  // ends in "/"
  std::string path(const std::string& name) const { return d_dir + name; }

private:
  std::string d_dir;
};

void write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);  // "" when missing
bool file_exists(const std::string& path);

// A child process that holds a whole-file fcntl lock (exclusive or shared)
// on `path` until release() or destruction.
class LockHolder {
public:
  LockHolder(const std::string& path, bool exclusive = true);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool held() const { return d_held; }
  void release();

private:
  pid_t d_child = -1;
  int d_release_fd = -1;
  bool d_held = false;
};

#endif
