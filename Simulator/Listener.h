#ifndef SIMULATOR_LISTENER_H
#define SIMULATOR_LISTENER_H

#include <sys/un.h>

#include <string>

namespace velsim {

// A listening Unix-domain stream socket and a wake-up pipe, for a thread
// that polls both: wake() from another thread ends its wait. Owns both
// descriptors.
class Listener {
public:
  Listener() = default;
  ~Listener() { close(); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds and listens at `addr`; `name` is what error texts call it.
  bool open(const sockaddr_un& addr, int backlog, const std::string& name, std::string& error);
  void wake();
  void close();

  int listen_fd() const { return m_listen; }
  int wake_fd() const { return m_wake[0]; }
  // The next connection (close-on-exec), or -1.
  int accept() const;

private:
  int m_listen = -1;
  int m_wake[2] = {-1, -1};
};

}  // namespace velsim

#endif
