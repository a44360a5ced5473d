#ifndef SID_PROTOCOL_CLIENTINTERFACE_H
#define SID_PROTOCOL_CLIENTINTERFACE_H

#include <cstdarg>

#include "VoiceHost/sid/protocol/Status.h"
#include "VoiceHost/sid/types/SEIntList.h"

namespace Sid {
class CommandInitiator;

namespace Protocol {

// The client side of the framing: calls and property requests out; responses,
// events and property streams in. Parameter pointers of the _lst forms are
// passed as void* (cast them), one per field in descriptor order.
class ClientInterface {
public:
  virtual Status wr_call(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid,
                         const void* record, unsigned descriptor) = 0;
  virtual Status wr_call_lst(CommandInitiator* thread, const char* header, unsigned header_size,
                             unsigned& rid, unsigned descriptor, ...) = 0;
  virtual Status wr_call_vlst(CommandInitiator* thread, const char* header, unsigned header_size,
                              unsigned& rid, unsigned descriptor, va_list params) = 0;
  virtual Status wr_call(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid) = 0;
  virtual Status rd_response_or_event(CommandInitiator* thread, Command& cmd) = 0;
  virtual Status buffer_events(CommandInitiator* thread, Command& cmd) = 0;
  virtual Status rd_event(CommandInitiator* thread, unsigned& modid, unsigned& event_id) = 0;
  virtual Status rd_parms(CommandInitiator* thread) = 0;
  virtual Status sk_parms(CommandInitiator* thread) = 0;
  virtual Status rd_parms(CommandInitiator* thread, void* record, unsigned descriptor) = 0;
  virtual Status rd_parms_lst(CommandInitiator* thread, unsigned descriptor, ...) = 0;
  virtual Status rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list params) = 0;
  virtual Status rd_response_id(CommandInitiator* thread, unsigned& rid) = 0;
  virtual Status rd_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid,
                             unsigned char& kind) = 0;
  virtual Status rd_value(unsigned char kind, CommandInitiator* thread, void* dest, unsigned index) = 0;
  virtual Status sk_value(unsigned char kind, CommandInitiator* thread) = 0;
  virtual Status get_request(CommandInitiator* thread, const char* header, unsigned header_size,
                             unsigned oid) = 0;
  virtual Status begin_get_request(CommandInitiator* thread, const char* header, unsigned header_size,
                                   unsigned oid) = 0;
  virtual Status begin_get_request(CommandInitiator* thread, unsigned modid, unsigned oid, unsigned propid) = 0;
  virtual Status begin_get_request(CommandInitiator* thread) = 0;
  virtual Status add_get_property(CommandInitiator* thread, unsigned modid, unsigned oid, unsigned propid) = 0;
  virtual Status add_get_properties(CommandInitiator* thread, unsigned modid, const SEIntList& oids,
                                    const SEIntList& propids) = 0;
  virtual Status end_get_property(CommandInitiator* thread) = 0;
  virtual Status resync_decode(CommandInitiator* thread) = 0;
  virtual bool has_buffered_event() = 0;
  virtual ~ClientInterface() = default;
};

}  // namespace Protocol
}  // namespace Sid

#endif
