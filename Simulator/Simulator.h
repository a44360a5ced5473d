#ifndef SIMULATOR_SIMULATOR_H
#define SIMULATOR_SIMULATOR_H

#include <atomic>
#include <memory>
#include <string>

#include "Simulator/ControlSocket.h"
#include "Simulator/EventLog.h"
#include "Simulator/Model.h"
#include "Simulator/Options.h"
#include "Simulator/Settings.h"
#include "Simulator/VoiceCallback.h"
#include "Simulator/VoiceClient.h"
#include "Simulator/VoiceStats.h"

namespace velsim {

// The whole simulated runtime of one account.
class Simulator {
public:
  explicit Simulator(Options options) : m_options(std::move(options)) {}
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Listens, serves client connections one after another, and returns the
  // exit status when told to exit.
  int run();

  // One control command line; the reply line.
  std::string command(const std::string& line);

private:
  bool setup(std::string& error);

  Options m_options;
  std::string m_dir;
  EventLog m_log;
  VoiceStats m_stats;
  std::unique_ptr<VoiceCallback> m_callback;
  std::unique_ptr<VoiceClient> m_voice;
  std::unique_ptr<Model> m_model;
  ControlSocket m_control;
  int m_listen = -1;
  std::atomic<bool> m_exit{false};
  std::atomic<bool> m_stalled{false};
};

// The directory of settings, control socket and log: $VELMORA_SIM_DIR, or
// /tmp/velmora-sim when unset.
std::string simulator_dir();

}  // namespace velsim

#endif
