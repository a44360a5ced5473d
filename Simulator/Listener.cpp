#include "Simulator/Listener.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace velsim {

bool Listener::open(const sockaddr_un& addr, int backlog, const std::string& name, std::string& error) {
  m_listen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0 || bind(m_listen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(m_listen, backlog) != 0) {
    error = "cannot listen at " + name + ": " + strerror(errno);
    return false;
  }
  if (pipe2(m_wake, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    return false;
  }
  return true;
}

void Listener::wake() {
  if (m_wake[1] < 0) return;
  char c = 0;
  ssize_t r = write(m_wake[1], &c, 1);
  (void)r;
}

void Listener::close() {
  for (int* fd : {&m_listen, &m_wake[0], &m_wake[1]})
    if (*fd >= 0) {
      ::close(*fd);
      *fd = -1;
    }
}

int Listener::accept() const { return accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC); }

}  // namespace velsim
