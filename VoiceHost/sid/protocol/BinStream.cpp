// Message starts, property streams (client side), the event buffer and
// resynchronisation.
#include "VoiceHost/sid/protocol/BinCommon.h"

namespace Sid {
namespace Protocol {

Status BinCommon::rd_message_start(CommandInitiator* thread, Command& cmd)
{
  if (m_transport->bl_start_decoding(thread) != TransportInterface::OK) return ERR_DECODE;
  unsigned char z, c;
  if (rd_uchar(thread, z) != OK || z != MSG_START) return ERR_DECODE;
  if (rd_uchar(thread, c) != OK) return ERR_DECODE;
  cmd = static_cast<Command>(c);
  return OK;
}

Status BinCommon::rd_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid,
                              unsigned char& kind)
{
  auto fail = [this]() {
    m_begin_property = 0;
    return ERR_DECODE;
  };
  bool read_module = false, read_object = false;
  unsigned char b;
  if (m_begin_property == 0) {
    read_module = read_object = true;
  } else {
    if (rd_uchar(thread, b) != OK) return fail();
    if (b != LIST_END) {
      kind = b;  // another property of the same object
      if (rd_uint(thread, propid) != OK) return fail();
      ++m_begin_property;
      modid = m_mod_property;
      oid = m_obj_property;
      return OK;
    }
    if (rd_uchar(thread, b) != OK) return fail();
    if (b == SEPARATOR) {
      read_object = true;  // another object of the same module
    } else if (b == LIST_END) {
      if (rd_uchar(thread, b) != OK) return fail();
      if (b == SEPARATOR) {
        read_module = read_object = true;  // another module
      } else if (b == LIST_END) {
        if (rd_uchar(thread, b) != OK || b != MSG_END) return fail();
        m_begin_property = 0;
        if (finish_decoding(thread) != OK) return ERR_DECODE;
        return COMPLETED;
      } else {
        return fail();
      }
    } else {
      return fail();
    }
  }
  if (read_module && rd_uint(thread, m_mod_property) != OK) return fail();
  if (read_object && rd_uint(thread, m_obj_property) != OK) return fail();
  if (rd_uchar(thread, kind) != OK) return fail();
  if (rd_uint(thread, propid) != OK) return fail();
  ++m_begin_property;
  modid = m_mod_property;
  oid = m_obj_property;
  return OK;
}

Status BinCommon::skip_property_stream(CommandInitiator* thread)
{
  for (;;) {
    unsigned modid, oid, propid;
    unsigned char kind;
    Status s = rd_property(thread, modid, oid, propid, kind);
    if (s == COMPLETED) return OK;
    if (s != OK) return ERR_DECODE;
    if (sk_value(kind, thread) != OK) {
      m_begin_property = 0;
      return ERR_DECODE;
    }
  }
}

Status BinCommon::buffer_events(CommandInitiator* thread, Command& cmd)
{
  m_buffering = -1;
  if (rd_message_start(thread, cmd) != OK) {
    m_buffering = 0;
    return ERR_DECODE;
  }
  if (cmd == CMD_XREPLY || cmd == CMD_GET_REPLY) return OK;  // body read by the caller
  if (cmd != CMD_EVENT && cmd != CMD_PROPCHANGE) {
    m_buffering = 0;
    return ERR_DECODE;
  }
  unsigned mark = m_buffer.size();
  m_buffering = static_cast<int>(mark) + 1;
  m_buffer.write(static_cast<char>(MSG_START));
  m_buffer.write(static_cast<char>(cmd));
  Status s;
  if (cmd == CMD_EVENT) {
    uint32_t modid, event_id;
    s = rd_uint(thread, modid) == OK && rd_uint(thread, event_id) == OK ? sk_message(thread) : ERR_DECODE;
  } else {
    s = skip_property_stream(thread);
  }
  m_buffering = 0;
  if (s != OK) {
    // Keep only whole messages in the buffer.
    m_buffer.truncate(mark);
    m_begin_property = 0;
    return ERR_DECODE;
  }
  return m_transport->end_decoding(thread) == TransportInterface::OK ? OK : ERR_DECODE;
}

Status BinCommon::resync_decode(CommandInitiator* thread)
{
  m_begin_property = 0;
  m_depth = 0;
  m_list_depth = 0;
  m_buffering = 0;
  return m_transport->end_decoding_with_error(thread) == TransportInterface::OK ? OK : ERR_DECODE;
}

}  // namespace Protocol
}  // namespace Sid
