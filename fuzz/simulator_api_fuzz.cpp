// The runtime simulator's request decoding and dispatch: the input is what a
// client sends after the account has logged in, read by the simulator's
// ApiReader (the protocol's BinServer over an in-memory stream) and answered
// by its model. Wrong object ids, unknown methods and modules, properties
// that do not exist and plain garbage must all end in an answer or a skip,
// never a crash, a hang or a leak.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "Simulator/ApiReader.h"
#include "Simulator/EventLog.h"
#include "Simulator/Links.h"
#include "Simulator/Model.h"
#include "Simulator/StreamTransport.h"

namespace {

using namespace velsim;

// Where the answers would go: they are encoded, then dropped.
class Discard : public Outbound {
public:
  void send(std::string, std::string) override {}
  void drop() override {}
};

Settings settings() {
  Settings s;
  s.login_delay_ms = 0;
  // Parties never answer on their own: what happens comes from the input.
  s.party.answer = Answer::Manual;
  s.party.ring_delay_ms = 600000;
  s.incoming_timeout_ms = 600000;
  return s;
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

// Start, GetAccount("fuzz"), LoginWithPassword(#1, "pw").
const std::string kLogin = bytes({'Z', 'R', 0, 0x91, 1, 0, 'z', 'Z', 'R', 0, 0x73, 1, 'S', 1, 4, 'f', 'u', 'z', 'z',
                                  'z', 'Z', 'R', 5, 6, 2, 'O', 0, 1, 'S', 1, 2, 'p', 'w', 'z'});

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EventLog log;  // not opened: nothing is written
  NoVoice voice;
  Discard out;
  std::atomic<bool> stalled{false};
  Model model("fuzz", settings(), log, voice);
  model.session_started(&out);
  {
    BytesTransport setup(kLogin);
    ApiReader(setup, model, log, stalled).run();
  }
  for (int n = 0; n < 2000 && model.status_text().find("login=LOGGED_IN") == std::string::npos; ++n)
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  BytesTransport input(std::string(reinterpret_cast<const char*>(data), size));
  ApiReader(input, model, log, stalled).run();
  model.session_ended();
  return 0;
}
