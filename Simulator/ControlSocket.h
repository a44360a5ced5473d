#ifndef SIMULATOR_CONTROLSOCKET_H
#define SIMULATOR_CONTROLSOCKET_H

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "Simulator/Listener.h"

namespace velsim {

// A Unix-domain stream socket at a path, serving a line protocol: each
// line received is one command, answered with one line. Several clients
// may be connected at once; their commands run one at a time.
class ControlSocket {
public:
  using Handler = std::function<std::string(const std::string&)>;

  ControlSocket() = default;
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  bool start(const std::string& path, Handler handler, std::string& error);
  void stop();

private:
  void run();

  std::string m_path;
  Handler m_handler;
  Listener m_listener;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace velsim

#endif
