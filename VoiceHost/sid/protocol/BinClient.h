#ifndef SID_PROTOCOL_BINCLIENT_H
#define SID_PROTOCOL_BINCLIENT_H

#include "VoiceHost/sid/protocol/BinCommon.h"
#include "VoiceHost/sid/protocol/ClientInterface.h"

namespace Sid {
namespace Protocol {

// The client side of the binary protocol. Calls take the next request id
// (returned through rid) and are sent at once.
class BinClient : public BinCommon, public ClientInterface {
public:
  BinClient(TransportInterface* transport, const Field* descriptors);
  ~BinClient() override;

  Status wr_call(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid,
                 const void* record, unsigned descriptor) override;
  Status wr_call_lst(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid,
                     unsigned descriptor, ...) override;
  Status wr_call_vlst(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid,
                      unsigned descriptor, va_list params) override;
  Status wr_call(CommandInitiator* thread, const char* header, unsigned header_size, unsigned& rid) override;
  Status rd_response_or_event(CommandInitiator* thread, Command& cmd) override;
  Status buffer_events(CommandInitiator* thread, Command& cmd) override;
  Status rd_event(CommandInitiator* thread, unsigned& modid, unsigned& event_id) override;
  Status rd_parms(CommandInitiator* thread) override;
  Status sk_parms(CommandInitiator* thread) override;
  Status rd_parms(CommandInitiator* thread, void* record, unsigned descriptor) override;
  Status rd_parms_lst(CommandInitiator* thread, unsigned descriptor, ...) override;
  Status rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list params) override;
  Status rd_response_id(CommandInitiator* thread, unsigned& rid) override;
  Status rd_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid,
                     unsigned char& kind) override;
  Status rd_value(unsigned char kind, CommandInitiator* thread, void* dest, unsigned index) override;
  Status sk_value(unsigned char kind, CommandInitiator* thread) override;
  Status get_request(CommandInitiator* thread, const char* header, unsigned header_size, unsigned oid) override;
  Status begin_get_request(CommandInitiator* thread, const char* header, unsigned header_size,
                           unsigned oid) override;
  Status begin_get_request(CommandInitiator* thread, unsigned modid, unsigned oid, unsigned propid) override;
  Status begin_get_request(CommandInitiator* thread) override;
  Status add_get_property(CommandInitiator* thread, unsigned modid, unsigned oid, unsigned propid) override;
  Status add_get_properties(CommandInitiator* thread, unsigned modid, const SEIntList& oids,
                            const SEIntList& propids) override;
  Status end_get_property(CommandInitiator* thread) override;
  Status resync_decode(CommandInitiator* thread) override;
  bool has_buffered_event() override;

  // The typed value operations of BinCommon stay reachable.
  using BinCommon::rd_value;
  using BinCommon::wr_value;
  // The pointer-array form (an array argument picks it over the variadic one).
  using BinCommon::rd_parms_lst;

protected:
  Status get_request_failed(CommandInitiator* thread);

  unsigned m_get_propcount = 0;
};

}  // namespace Protocol
}  // namespace Sid

#endif
