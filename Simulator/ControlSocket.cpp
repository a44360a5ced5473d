#include "Simulator/ControlSocket.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace velsim {

namespace {
constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxClients = 16;
}  // namespace

ControlSocket::~ControlSocket() { stop(); }

bool ControlSocket::start(const std::string& path, Handler handler, std::string& error) {
  m_path = path;
  m_handler = std::move(handler);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    error = "control socket path too long: " + path;
    return false;
  }
  memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  unlink(path.c_str());  // a stale socket of an earlier run
  if (!m_listener.open(addr, 8, path, error)) return false;
  m_thread = std::thread([this] { run(); });
  return true;
}

void ControlSocket::stop() {
  m_stop = true;
  m_listener.wake();
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
  m_listener.close();
  if (!m_path.empty()) unlink(m_path.c_str());
}

void ControlSocket::run() {
  struct Client {
    int fd;
    std::string in;
  };
  std::vector<Client> clients;
  while (!m_stop) {
    std::vector<pollfd> p = {{m_listener.listen_fd(), POLLIN, 0}, {m_listener.wake_fd(), POLLIN, 0}};
    for (const auto& c : clients) p.push_back({c.fd, POLLIN, 0});
    if (poll(p.data(), p.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p[1].revents) break;
    if (p[0].revents & POLLIN) {
      int fd = m_listener.accept();
      if (fd >= 0) {
        if (clients.size() >= kMaxClients)
          close(fd);
        else
          clients.push_back({fd, {}});
      }
    }
    for (size_t n = 2; n < p.size(); ++n) {
      if (!p[n].revents) continue;
      Client& c = clients[n - 2];
      char buf[1024];
      ssize_t got = read(c.fd, buf, sizeof buf);
      if (got < 0 && errno == EINTR) continue;
      bool close_it = got <= 0;
      if (got > 0) c.in.append(buf, static_cast<size_t>(got));
      size_t nl;
      while (!close_it && (nl = c.in.find('\n')) != std::string::npos) {
        std::string line = c.in.substr(0, nl);
        c.in.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string reply = m_handler(line) + "\n";
        // Replies are short; a client that does not read them is dropped.
        if (send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT) != static_cast<ssize_t>(reply.size()))
          close_it = true;
      }
      if (c.in.size() > kMaxLine) {
        std::string reply = "ERR line too long\n";
        send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        close_it = true;
      }
      if (close_it) {
        close(c.fd);
        c.fd = -1;
      }
    }
    std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
  }
  for (auto& c : clients) close(c.fd);
}

}  // namespace velsim
