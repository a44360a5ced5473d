#include "VoiceHost/sid/protocol/BinServer.h"

namespace Sid {
namespace Protocol {

namespace {
const char k_response[] = {'Z', 'r'};
const char k_get_reply[] = {'Z', 'g'};
const char k_prop_change[] = {'Z', 'C'};
const char k_stream_end[] = {']', 'z'};
const char k_empty_message[] = {'z'};
const char k_error[] = {'N', 'z'};
}  // namespace

BinServer::BinServer(void* api, TransportInterface* transport, const Field* descriptors)
    : BinCommon(api, transport, descriptors)
{
}

BinServer::~BinServer() = default;

Status BinServer::rd_command(CommandInitiator* thread, Command& cmd)
{
  Status s = rd_message_start(thread, cmd);
  if (s == OK && cmd == CMD_GET) m_rg_state = 1;
  return s;
}

Status BinServer::rd_call(CommandInitiator* thread, unsigned& modid, unsigned& method, unsigned& rid)
{
  if (rd_uint(thread, modid) != OK || rd_uint(thread, method) != OK || rd_uint(thread, rid) != OK)
    return ERR_DECODE;
  return OK;
}

Status BinServer::rd_parms(CommandInitiator* thread) { return BinCommon::sk_parms(thread); }

Status BinServer::sk_parms(CommandInitiator* thread) { return BinCommon::sk_parms(thread); }

Status BinServer::rd_parms(CommandInitiator* thread, void* record, unsigned descriptor)
{
  return BinCommon::rd_parms(thread, record, descriptor);
}

Status BinServer::rd_parms_lst(CommandInitiator* thread, unsigned descriptor, ...)
{
  va_list ap;
  va_start(ap, descriptor);
  Status s = BinCommon::rd_parms_vlst(thread, descriptor, ap);
  va_end(ap);
  return s;
}

Status BinServer::rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list params)
{
  return BinCommon::rd_parms_vlst(thread, descriptor, params);
}

Status BinServer::resync_decode(CommandInitiator* thread)
{
  m_rg_state = 0;
  return BinCommon::resync_decode(thread);
}

Status BinServer::wr_response(CommandInitiator* thread, unsigned rid, const void* record, unsigned descriptor)
{
  return wr_preencoded(thread, k_response, 2, ID_GIVEN, rid, record, descriptor, true);
}

Status BinServer::wr_response_lst(CommandInitiator* thread, unsigned rid, unsigned descriptor, ...)
{
  va_list ap;
  va_start(ap, descriptor);
  Status s = wr_response_vlst(thread, rid, descriptor, ap);
  va_end(ap);
  return s;
}

Status BinServer::wr_response_vlst(CommandInitiator* thread, unsigned rid, unsigned descriptor, va_list params)
{
  return wr_preencoded_vlst(thread, k_response, 2, ID_GIVEN, rid, descriptor, true, params);
}

Status BinServer::wr_response(CommandInitiator* thread, unsigned rid)
{
  return wr_preencoded(thread, k_response, 2, ID_GIVEN, rid, k_empty_message, 1, true);
}

Status BinServer::wr_response_error(CommandInitiator* thread, unsigned rid)
{
  return wr_preencoded(thread, k_response, 2, ID_GIVEN, rid, k_error, 2, true);
}

// --- property requests ----------------------------------------------------------

// A group's property list, then ']', the module and the first object.
Status BinServer::rd_group_head(CommandInitiator* thread)
{
  m_rg_props.clear();
  for (;;) {
    uint32_t prop;
    unsigned char b;
    if (rd_uint(thread, prop) != OK || rd_uchar(thread, b) != OK) return ERR_DECODE;
    m_rg_props.append(static_cast<int>(prop));
    if (b == LIST_END) break;
    if (b != SEPARATOR) return ERR_DECODE;
  }
  if (rd_uint(thread, m_rg_modid) != OK || rd_uint(thread, m_rg_oid) != OK) return ERR_DECODE;
  m_rg_count = 0;
  m_rg_state = 2;
  return OK;
}

Status BinServer::rd_get_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid)
{
  auto fail = [this]() {
    m_rg_state = 0;
    return ERR_DECODE;
  };
  if (m_rg_state == 1) {
    if (rd_group_head(thread) != OK) return fail();
  } else if (m_rg_state == 2) {
    if (m_rg_count >= m_rg_props.size()) {
      unsigned char b;
      if (rd_uchar(thread, b) != OK) return fail();
      if (b == SEPARATOR) {
        // another object of the same group
        if (rd_uint(thread, m_rg_oid) != OK) return fail();
        m_rg_count = 0;
      } else if (b == LIST_END) {
        m_rg_state = 1;
        if (rd_uchar(thread, b) != OK) return fail();
        if (b == SEPARATOR) {
          if (rd_group_head(thread) != OK) return fail();
        } else if (b == LIST_END) {
          if (rd_uchar(thread, b) != OK || b != MSG_END) return fail();
          m_rg_state = 0;
          if (finish_decoding(thread) != OK) return ERR_DECODE;
          return COMPLETED;
        } else {
          return fail();
        }
      } else {
        return fail();
      }
    }
  } else {
    return ERR_DECODE;
  }
  modid = m_rg_modid;
  oid = m_rg_oid;
  propid = static_cast<unsigned>(static_cast<const SEIntList&>(m_rg_props)[m_rg_count++]);
  return OK;
}

// --- property streams -----------------------------------------------------------

Status BinServer::add_stream_entry(CommandInitiator* thread, int& counter, unsigned propid, unsigned modid,
                                   unsigned oid, const void* value, unsigned descriptor)
{
  char buf[24];
  unsigned n = 0;
  if (counter) buf[n++] = SEPARATOR;
  n += encode_uint(buf + n, modid);
  n += encode_uint(buf + n, oid);
  Status s = wr_bytes(thread, n, buf);
  if (s == OK) {
    if (value) {
      s = wr_field(thread, m_fields[descriptor], descriptor, value, propid);
    } else {
      buf[0] = static_cast<char>(Field::KIND_NULL);
      s = wr_bytes(thread, 1 + encode_uint(buf + 1, propid), buf);
    }
  }
  const char group_end[] = {']', ']'};
  if (s != OK || wr_bytes(thread, 2, group_end) != OK) {
    counter = 0;
    finish_encoding(thread, false);
    return ERR_ENCODE;
  }
  counter = 2;
  return OK;
}

Status BinServer::begin_get_response(CommandInitiator* thread)
{
  m_num_get_property = 0;
  if (start_encoding(thread) != OK || wr_bytes(thread, 2, k_get_reply) != OK) {
    finish_encoding(thread, false);
    return ERR_ENCODE;
  }
  return OK;
}

Status BinServer::add_failed_get_property(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid)
{
  return add_stream_entry(thread, m_num_get_property, propid, modid, oid, nullptr, 0);
}

Status BinServer::add_get_property(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid,
                                   const void* value, unsigned descriptor)
{
  return add_stream_entry(thread, m_num_get_property, propid, modid, oid, value, descriptor);
}

Status BinServer::end_get_response(CommandInitiator* thread)
{
  m_num_get_property = 0;
  if (wr_bytes(thread, 2, k_stream_end) != OK) {
    finish_encoding(thread, false);
    return ERR_ENCODE;
  }
  return finish_encoding(thread, true);
}

Status BinServer::begin_property_change_event(CommandInitiator* thread, unsigned propid, unsigned modid,
                                              unsigned oid, const void* value, unsigned descriptor)
{
  m_num_property_change = 0;
  if (start_encoding(thread) != OK || wr_bytes(thread, 2, k_prop_change) != OK) {
    finish_encoding(thread, false);
    return ERR_ENCODE;
  }
  return add_stream_entry(thread, m_num_property_change, propid, modid, oid, value, descriptor);
}

Status BinServer::add_property_change(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid,
                                      const void* value, unsigned descriptor)
{
  return add_stream_entry(thread, m_num_property_change, propid, modid, oid, value, descriptor);
}

Status BinServer::end_property_change_event(CommandInitiator* thread)
{
  m_num_property_change = 0;
  if (wr_bytes(thread, 2, k_stream_end) != OK) {
    finish_encoding(thread, false);
    return ERR_ENCODE;
  }
  return finish_encoding(thread, false);
}

// --- events -----------------------------------------------------------------

Status BinServer::wr_event(CommandInitiator* thread, const char* header, unsigned header_size, const void* record,
                           unsigned descriptor)
{
  unsigned no_id = 0;
  return wr_preencoded(thread, header, header_size, ID_NONE, no_id, record, descriptor, false);
}

Status BinServer::wr_event_lst(CommandInitiator* thread, const char* header, unsigned header_size,
                               unsigned descriptor, ...)
{
  va_list ap;
  va_start(ap, descriptor);
  unsigned no_id = 0;
  Status s = wr_preencoded_vlst(thread, header, header_size, ID_NONE, no_id, descriptor, false, ap);
  va_end(ap);
  return s;
}

Status BinServer::wr_event(CommandInitiator* thread, const char* header, unsigned header_size)
{
  unsigned no_id = 0;
  return wr_preencoded(thread, header, header_size, ID_NONE, no_id, k_empty_message, 1, false);
}

}  // namespace Protocol
}  // namespace Sid
