#include "VoiceHost/sid/protocol/BinClient.h"

namespace Sid {
namespace Protocol {

namespace {
const char k_get_start[] = {'Z', 'G'};
const char k_get_end[] = {']', 'z'};
const char k_empty_message[] = {'z'};
}  // namespace

BinClient::BinClient(TransportInterface* transport, const Field* descriptors)
    : BinCommon(nullptr, transport, descriptors)
{
}

BinClient::~BinClient() = default;

Status BinClient::wr_call(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid,
                          const void* record, unsigned descriptor)
{
  return wr_preencoded(thread, header, header_size, ID_NEXT, rid, record, descriptor, true);
}

Status BinClient::wr_call_lst(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid,
                              unsigned descriptor, ...)
{
  va_list ap;
  va_start(ap, descriptor);
  Status s = wr_call_vlst(thread, header, header_size, rid, descriptor, ap);
  va_end(ap);
  return s;
}

Status BinClient::wr_call_vlst(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid,
                               unsigned descriptor, va_list params)
{
  return wr_preencoded_vlst(thread, header, header_size, ID_NEXT, rid, descriptor, true, params);
}

Status BinClient::wr_call(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid)
{
  return wr_preencoded(thread, header, header_size, ID_NEXT, rid, k_empty_message, 1, true);
}

Status BinClient::rd_response_or_event(CommandInitiator* thread, Command& cmd)
{
  return rd_message_start(thread, cmd);
}

Status BinClient::buffer_events(CommandInitiator* thread, Command& cmd)
{
  return BinCommon::buffer_events(thread, cmd);
}

Status BinClient::rd_event(CommandInitiator* thread, unsigned& modid, unsigned& event_id)
{
  if (rd_uint(thread, modid) != OK || rd_uint(thread, event_id) != OK) return ERR_DECODE;
  return OK;
}

Status BinClient::rd_parms(CommandInitiator* thread) { return BinCommon::sk_parms(thread); }

Status BinClient::sk_parms(CommandInitiator* thread) { return BinCommon::sk_parms(thread); }

Status BinClient::rd_parms(CommandInitiator* thread, void* record, unsigned descriptor)
{
  return BinCommon::rd_parms(thread, record, descriptor);
}

Status BinClient::rd_parms_lst(CommandInitiator* thread, unsigned descriptor, ...)
{
  va_list ap;
  va_start(ap, descriptor);
  Status s = BinCommon::rd_parms_vlst(thread, descriptor, ap);
  va_end(ap);
  return s;
}

Status BinClient::rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list params)
{
  return BinCommon::rd_parms_vlst(thread, descriptor, params);
}

Status BinClient::rd_response_id(CommandInitiator* thread, unsigned& rid)
{
  return rd_uint(thread, rid) == OK ? OK : ERR_DECODE;
}

Status BinClient::rd_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid,
                              unsigned char& kind)
{
  return BinCommon::rd_property(thread, modid, oid, propid, kind);
}

Status BinClient::rd_value(unsigned char kind, CommandInitiator* thread, void* dest, unsigned index)
{
  return BinCommon::rd_value(kind, thread, dest, index);
}

Status BinClient::sk_value(unsigned char kind, CommandInitiator* thread) { return BinCommon::sk_value(kind, thread); }

Status BinClient::get_request_failed(CommandInitiator* thread)
{
  m_get_propcount = 0;
  finish_encoding(thread, false);
  return ERR_ENCODE;
}

Status BinClient::get_request(CommandInitiator* thread, const char* header, unsigned header_size, unsigned oid)
{
  if (start_encoding(thread) != OK || wr_bytes(thread, header_size, header) != OK || wr_uint(thread, oid) != OK ||
      wr_bytes(thread, 1, &k_get_end[0]) != OK || wr_bytes(thread, 2, k_get_end) != OK)
    return get_request_failed(thread);
  m_get_propcount = 0;
  return finish_encoding(thread, true);
}

Status BinClient::begin_get_request(CommandInitiator* thread, const char* header, unsigned header_size,
                                    unsigned oid)
{
  if (start_encoding(thread) != OK || wr_bytes(thread, header_size, header) != OK || wr_uint(thread, oid) != OK ||
      wr_bytes(thread, 1, &k_get_end[0]) != OK)
    return get_request_failed(thread);
  m_get_propcount = 1;
  return OK;
}

Status BinClient::begin_get_request(CommandInitiator* thread, unsigned modid, unsigned oid, unsigned propid)
{
  if (begin_get_request(thread) != OK) return ERR_ENCODE;
  return add_get_property(thread, modid, oid, propid);
}

Status BinClient::begin_get_request(CommandInitiator* thread)
{
  m_get_propcount = 0;
  if (start_encoding(thread) != OK || wr_bytes(thread, 2, k_get_start) != OK) return get_request_failed(thread);
  return OK;
}

Status BinClient::add_get_property(CommandInitiator* thread, unsigned modid, unsigned oid, unsigned propid)
{
  char buf[24];
  unsigned n = 0;
  if (m_get_propcount) buf[n++] = SEPARATOR;
  n += encode_uint(buf + n, propid);
  buf[n++] = LIST_END;
  n += encode_uint(buf + n, modid);
  n += encode_uint(buf + n, oid);
  buf[n++] = LIST_END;
  if (wr_bytes(thread, n, buf) != OK) return get_request_failed(thread);
  ++m_get_propcount;
  return OK;
}

Status BinClient::add_get_properties(CommandInitiator* thread, unsigned modid, const SEIntList& oids,
                                     const SEIntList& propids)
{
  if (oids.size() == 0 || propids.size() == 0) return get_request_failed(thread);
  char sep = SEPARATOR, end = LIST_END;
  if (m_get_propcount && wr_bytes(thread, 1, &sep) != OK) return get_request_failed(thread);
  for (size_t i = 0; i < propids.size(); ++i) {
    if ((i && wr_bytes(thread, 1, &sep) != OK) || wr_uint(thread, static_cast<uint32_t>(propids[i])) != OK)
      return get_request_failed(thread);
  }
  if (wr_bytes(thread, 1, &end) != OK || wr_uint(thread, modid) != OK) return get_request_failed(thread);
  for (size_t i = 0; i < oids.size(); ++i) {
    if ((i && wr_bytes(thread, 1, &sep) != OK) || wr_uint(thread, static_cast<uint32_t>(oids[i])) != OK)
      return get_request_failed(thread);
  }
  if (wr_bytes(thread, 1, &end) != OK) return get_request_failed(thread);
  ++m_get_propcount;
  return OK;
}

Status BinClient::end_get_property(CommandInitiator* thread)
{
  if (wr_bytes(thread, 2, k_get_end) != OK) return get_request_failed(thread);
  m_get_propcount = 0;
  return finish_encoding(thread, true);
}

Status BinClient::resync_decode(CommandInitiator* thread) { return BinCommon::resync_decode(thread); }

bool BinClient::has_buffered_event() { return BinCommon::has_buffered_event(); }

}  // namespace Protocol
}  // namespace Sid
