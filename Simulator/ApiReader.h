#ifndef SIMULATOR_APIREADER_H
#define SIMULATOR_APIREADER_H

#include <atomic>

#include "Simulator/EventLog.h"
#include "Simulator/Model.h"
#include "Simulator/StreamTransport.h"
#include "VoiceHost/sid/protocol/BinServer.h"

namespace velsim {

// Reads what the client sends with the protocol's BinServer and hands each
// call and property request to the model, until the stream ends. Bad input
// is logged and skipped up to the next message start ('Z'); a call whose
// parameters cannot be decoded gets the error response.
class ApiReader {
public:
  // The largest string accepted in a call's parameters.
  static constexpr unsigned kMaxString = 1 << 20;
  // The most properties one request may ask for.
  static constexpr size_t kMaxProperties = 4096;

  ApiReader(StreamTransport& transport, Model& model, EventLog& log, const std::atomic<bool>& stalled);
  ApiReader(const ApiReader&) = delete;
  ApiReader& operator=(const ApiReader&) = delete;

  void run();

private:
  // False when the stream ended.
  bool call();
  bool get();
  bool resync();

  StreamTransport& m_transport;
  Sid::Protocol::BinServer m_server;
  Model& m_model;
  EventLog& m_log;
  const std::atomic<bool>& m_stalled;
};

}  // namespace velsim

#endif
