#include "Simulator/ApiReader.h"

#include <vector>

#include "Simulator/ApiCalls.h"
#include "Simulator/ApiFields.h"
#include "Simulator/ApiNames.h"

namespace velsim {

namespace {

using Sid::Protocol::BinCommon;
using Sid::Protocol::Status;

// Strings longer than the limit are refused before anything is allocated.
Status read_bounded_string(BinCommon& self, Sid::CommandInitiator* thread, void* dest, unsigned) {
  SEString& out = *static_cast<SEString*>(dest);
  uint32_t n = 0;
  if (self.rd_uint(thread, n) != Sid::Protocol::OK) return Sid::Protocol::ERR_DECODE;
  out = SEString();
  if (n == 0) return Sid::Protocol::OK;
  if (n > ApiReader::kMaxString) return Sid::Protocol::ERR_DECODE;
  std::vector<char> text(n + 1, '\0');
  if (self.rd_bytes(thread, n, text.data()) != Sid::Protocol::OK) return Sid::Protocol::ERR_DECODE;
  out = text.data();
  return Sid::Protocol::OK;
}

const char* status_name(Status s) {
  switch (s) {
    case Sid::Protocol::ERR_CALL: return "error response";
    case Sid::Protocol::ERR_DECODE: return "decode error";
    default: return "failure";
  }
}

}  // namespace

ApiReader::ApiReader(StreamTransport& transport, Model& model, EventLog& log, const std::atomic<bool>& stalled)
    : m_transport(transport), m_server(nullptr, &transport, api::kFields), m_model(model), m_log(log),
      m_stalled(stalled) {
  m_server.set_reader(Sid::Field::KIND_STRING, read_bounded_string);
  m_server.set_reader(Sid::Field::KIND_XML, read_bounded_string);
}

bool ApiReader::resync() {
  m_server.resync_decode(nullptr);
  size_t skipped = 0;
  return m_transport.skip_to(Sid::Protocol::MSG_START, skipped);
}

void ApiReader::run() {
  for (;;) {
    unsigned char first = 0;
    if (!m_transport.peek(first)) return;
    if (first != Sid::Protocol::MSG_START) {
      m_log.printf("ERR", "byte 0x%02x where a message should start: resynchronising", first);
      if (!resync()) return;
      continue;
    }
    Sid::Protocol::Command cmd = Sid::Protocol::CMD_RESERVED;
    if (m_server.rd_command(nullptr, cmd) != Sid::Protocol::OK) return;  // only the end of the stream
    bool more;
    if (cmd == Sid::Protocol::CMD_XCALL) {
      more = call();
    } else if (cmd == Sid::Protocol::CMD_GET) {
      more = get();
    } else {
      m_log.printf("ERR", "unknown command byte 0x%02x: resynchronising", static_cast<unsigned>(cmd));
      more = resync();
    }
    if (!more) return;
  }
}

bool ApiReader::call() {
  unsigned module = 0, method = 0, rid = 0;
  if (m_server.rd_call(nullptr, module, method, rid) != Sid::Protocol::OK) {
    if (m_transport.ended()) return false;
    m_log.write("ERR", "undecodable call header: resynchronising");
    return resync();
  }
  const api::CallEntry* entry = api::find_call(module, method);
  api::CallParams params;
  Status s;
  if (entry && entry->descriptor >= 0) {
    void* pointers[7];
    api::call_pointers(*entry, params, pointers);
    s = m_server.rd_parms_lst(nullptr, static_cast<unsigned>(entry->descriptor), pointers);
  } else {
    s = m_server.sk_parms(nullptr);
  }
  if (s != Sid::Protocol::OK && m_transport.ended()) return false;
  std::string what = std::string(api::module_name(module)) + "." + api::method_name(module, method) + "(" +
                     std::to_string(module) + "," + std::to_string(method) + ")";
  if (s != Sid::Protocol::OK) {
    m_log.printf("ERR", "call rid=%u %s: parameters undecodable (%s): resynchronising", rid, what.c_str(),
                 status_name(s));
    if (!m_stalled) m_model.reject_call(rid);
    return resync();
  }
  m_log.printf("RECV", "call rid=%u %s %s", rid, what.c_str(), entry ? api::describe_call(*entry, params).c_str() : "");
  if (m_stalled) {
    m_log.printf("STALL", "call rid=%u not answered", rid);
    return true;
  }
  m_model.handle_call(module, method, rid, params);
  return true;
}

bool ApiReader::get() {
  std::vector<api::PropRef> props;
  Status s;
  for (;;) {
    unsigned module = 0, oid = 0, prop = 0;
    s = m_server.rd_get_property(nullptr, module, oid, prop);
    if (s != Sid::Protocol::OK) break;
    if (props.size() >= kMaxProperties) {
      s = Sid::Protocol::ERR_DECODE;
      break;
    }
    props.push_back({module, oid, prop});
  }
  if (s != Sid::Protocol::COMPLETED) {
    if (m_transport.ended()) return false;
    // Replies come in request order, so an unreadable request still gets
    // one: a single property without a value.
    m_log.write("ERR", "undecodable property request: resynchronising");
    if (!m_stalled) m_model.handle_get({{0, 0, 0}});
    return resync();
  }
  std::string what;
  for (const auto& p : props)
    what += " " + std::to_string(p.module) + ".#" + std::to_string(p.oid) + "." + api::prop_name(p.module, p.prop);
  m_log.printf("RECV", "get%s", what.c_str());
  if (m_stalled) {
    m_log.write("STALL", "property request not answered");
    return true;
  }
  m_model.handle_get(props);
  return true;
}

}  // namespace velsim
