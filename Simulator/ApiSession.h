#ifndef SIMULATOR_APISESSION_H
#define SIMULATOR_APISESSION_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "Simulator/EventLog.h"
#include "Simulator/Links.h"
#include "Simulator/Model.h"
#include "Simulator/TlsClient.h"

namespace velsim {

// One accepted client connection: TLS with the runtime as the client, the
// handshake, then the binary protocol. The calling thread reads and
// dispatches (ApiReader); a writer thread sends the queued messages, which
// the model encodes with ApiWriter, in order.
class ApiSession : public Outbound {
public:
  ApiSession(Model& model, EventLog& log, std::atomic<bool>& stalled)
      : m_model(model), m_log(log), m_stalled(stalled) {}
  ~ApiSession() override;
  ApiSession(const ApiSession&) = delete;
  ApiSession& operator=(const ApiSession&) = delete;

  // Serves the connection `fd` until it ends.
  void run(int fd);

  void send(std::string bytes, std::string log_line) override;
  void drop() override;

private:
  bool handshake();
  void serve();
  void write_loop();

  Model& m_model;
  EventLog& m_log;
  std::atomic<bool>& m_stalled;
  TlsClient m_tls;

  std::mutex m_qmutex;
  std::condition_variable m_cv;
  std::deque<std::pair<std::string, std::string>> m_queue;
  bool m_closing = false;
  std::thread m_writer;
};

}  // namespace velsim

#endif
