#ifndef SID_PROTOCOL_SERVERINTERFACE_H
#define SID_PROTOCOL_SERVERINTERFACE_H

#include <cstdarg>

#include "VoiceHost/sid/protocol/Status.h"

namespace Sid {
class CommandInitiator;

namespace Protocol {

// The server side of the framing: calls and property requests in; responses,
// errors, events, property replies and property changes out.
class ServerInterface {
public:
  virtual Status rd_command(CommandInitiator* thread, Command& cmd) = 0;
  virtual Status rd_call(CommandInitiator* thread, unsigned& modid, unsigned& method, unsigned& rid) = 0;
  virtual Status rd_parms(CommandInitiator* thread) = 0;
  virtual Status sk_parms(CommandInitiator* thread) = 0;
  virtual Status rd_parms(CommandInitiator* thread, void* record, unsigned descriptor) = 0;
  virtual Status rd_parms_lst(CommandInitiator* thread, unsigned descriptor, ...) = 0;
  virtual Status rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list params) = 0;
  virtual Status resync_decode(CommandInitiator* thread) = 0;
  virtual Status wr_response(CommandInitiator* thread, unsigned rid, const void* record, unsigned descriptor) = 0;
  virtual Status wr_response_lst(CommandInitiator* thread, unsigned rid, unsigned descriptor, ...) = 0;
  virtual Status wr_response_vlst(CommandInitiator* thread, unsigned rid, unsigned descriptor,
                                  va_list params) = 0;
  virtual Status wr_response(CommandInitiator* thread, unsigned rid) = 0;
  virtual Status wr_response_error(CommandInitiator* thread, unsigned rid) = 0;
  virtual Status rd_get_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid) = 0;
  virtual Status begin_get_response(CommandInitiator* thread) = 0;
  virtual Status add_failed_get_property(CommandInitiator* thread, unsigned propid, unsigned modid,
                                         unsigned oid) = 0;
  virtual Status add_get_property(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid,
                                  const void* value, unsigned descriptor) = 0;
  virtual Status end_get_response(CommandInitiator* thread) = 0;
  virtual Status wr_event(CommandInitiator* thread, const char* header, unsigned header_size,
                          const void* record, unsigned descriptor) = 0;
  virtual Status wr_event_lst(CommandInitiator* thread, const char* header, unsigned header_size,
                              unsigned descriptor, ...) = 0;
  virtual Status wr_event(CommandInitiator* thread, const char* header, unsigned header_size) = 0;
  virtual Status begin_property_change_event(CommandInitiator* thread, unsigned propid, unsigned modid,
                                             unsigned oid, const void* value, unsigned descriptor) = 0;
  virtual Status add_property_change(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid,
                                     const void* value, unsigned descriptor) = 0;
  virtual Status end_property_change_event(CommandInitiator* thread) = 0;
  virtual void* get_api() = 0;
  virtual ~ServerInterface() = default;
};

}  // namespace Protocol
}  // namespace Sid

#endif
