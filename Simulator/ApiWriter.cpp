#include "Simulator/ApiWriter.h"

#include "Simulator/ApiFields.h"

namespace velsim {

namespace {
using Sid::Protocol::OK;
using Sid::Protocol::Status;

unsigned value_descriptor(unsigned char kind) {
  switch (kind) {
    case Sid::Field::KIND_ENUM: return api::D_VAL_ENUM;
    case Sid::Field::KIND_OBJECTID: return api::D_VAL_OBJECT;
    case Sid::Field::KIND_STRING: return api::D_VAL_STRING;
    case Sid::Field::KIND_XML: return api::D_VAL_XML;
    case Sid::Field::KIND_BOOLEAN: return api::D_VAL_BOOL;
    default: return api::D_VAL_UINT;
  }
}
}  // namespace

SEString to_sestring(const std::string& s) { return s.empty() ? SEString() : SEString(s.c_str()); }

ApiWriter::ApiWriter() : m_server(nullptr, &m_transport, api::kFields) {}

std::string ApiWriter::take(Status s) {
  std::string bytes = m_transport.output_string();
  m_transport.clear_output();
  // Memory does not refuse bytes; a failure here is a descriptor fault.
  if (s != OK) return std::string();
  return bytes;
}

std::string ApiWriter::response(uint32_t rid, const void* record, unsigned descriptor) {
  return take(m_server.wr_response(nullptr, rid, record, descriptor));
}

std::string ApiWriter::response(uint32_t rid) { return take(m_server.wr_response(nullptr, rid)); }

std::string ApiWriter::error(uint32_t rid) { return take(m_server.wr_response_error(nullptr, rid)); }

std::string ApiWriter::event(uint32_t module, uint32_t event, const void* record, unsigned descriptor) {
  char header[12] = {'Z', 'E'};
  unsigned n = 2;
  n += Sid::Protocol::BinCommon::encode_uint(header + n, module);
  n += Sid::Protocol::BinCommon::encode_uint(header + n, event);
  return take(m_server.wr_event(nullptr, header, n, record, descriptor));
}

void ApiWriter::begin_reply() {
  m_change = false;
  m_first = true;
  m_failed = m_server.begin_get_response(nullptr) != OK;
}

void ApiWriter::begin_change() {
  m_change = true;
  m_first = true;
  m_failed = false;
}

void ApiWriter::add(uint32_t module, uint32_t oid, uint32_t prop, const PropValue* value) {
  if (m_failed) return;
  SEString text;
  const void* v = nullptr;
  unsigned descriptor = 0;
  if (value) {
    descriptor = value_descriptor(value->kind);
    switch (value->kind) {
      case Sid::Field::KIND_STRING: case Sid::Field::KIND_XML:
        text = to_sestring(value->str);
        v = &text;
        break;
      case Sid::Field::KIND_BOOLEAN: v = &value->flag; break;
      default: v = &value->num; break;
    }
  }
  Status s;
  if (m_change && m_first)
    s = m_server.begin_property_change_event(nullptr, prop, module, oid, v, descriptor);
  else if (m_change)
    s = m_server.add_property_change(nullptr, prop, module, oid, v, descriptor);
  else if (v)
    s = m_server.add_get_property(nullptr, prop, module, oid, v, descriptor);
  else
    s = m_server.add_failed_get_property(nullptr, prop, module, oid);
  m_first = false;
  if (s != OK) m_failed = true;
}

std::string ApiWriter::end() {
  if (m_failed) return take(Sid::Protocol::ERR_ENCODE);
  return take(m_change ? m_server.end_property_change_event(nullptr) : m_server.end_get_response(nullptr));
}

}  // namespace velsim
