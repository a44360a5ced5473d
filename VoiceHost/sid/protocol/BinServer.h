#ifndef SID_PROTOCOL_BINSERVER_H
#define SID_PROTOCOL_BINSERVER_H

#include "VoiceHost/sid/protocol/BinCommon.h"
#include "VoiceHost/sid/protocol/ServerInterface.h"
#include "VoiceHost/sid/types/SEIntList.h"

namespace Sid {
namespace Protocol {

// The server side of the binary protocol.
class BinServer : public BinCommon, public ServerInterface {
public:
  BinServer(void* api, TransportInterface* transport, const Field* descriptors);
  ~BinServer() override;

  Status rd_command(CommandInitiator* thread, Command& cmd) override;
  Status rd_call(CommandInitiator* thread, unsigned& modid, unsigned& method, unsigned& rid) override;
  Status rd_parms(CommandInitiator* thread) override;
  Status sk_parms(CommandInitiator* thread) override;
  Status rd_parms(CommandInitiator* thread, void* record, unsigned descriptor) override;
  Status rd_parms_lst(CommandInitiator* thread, unsigned descriptor, ...) override;
  Status rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list params) override;
  Status resync_decode(CommandInitiator* thread) override;
  Status wr_response(CommandInitiator* thread, unsigned rid, const void* record, unsigned descriptor) override;
  Status wr_response_lst(CommandInitiator* thread, unsigned rid, unsigned descriptor, ...) override;
  Status wr_response_vlst(CommandInitiator* thread, unsigned rid, unsigned descriptor, va_list params) override;
  Status wr_response(CommandInitiator* thread, unsigned rid) override;
  Status wr_response_error(CommandInitiator* thread, unsigned rid) override;
  Status rd_get_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid) override;
  Status begin_get_response(CommandInitiator* thread) override;
  Status add_failed_get_property(CommandInitiator* thread, unsigned propid, unsigned modid,
                                 unsigned oid) override;
  Status add_get_property(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid,
                          const void* value, unsigned descriptor) override;
  Status end_get_response(CommandInitiator* thread) override;
  Status wr_event(CommandInitiator* thread, const char* header, unsigned header_size, const void* record,
                  unsigned descriptor) override;
  Status wr_event_lst(CommandInitiator* thread, const char* header, unsigned header_size, unsigned descriptor,
                      ...) override;
  Status wr_event(CommandInitiator* thread, const char* header, unsigned header_size) override;
  Status begin_property_change_event(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid,
                                     const void* value, unsigned descriptor) override;
  Status add_property_change(CommandInitiator* thread, unsigned propid, unsigned modid, unsigned oid,
                             const void* value, unsigned descriptor) override;
  Status end_property_change_event(CommandInitiator* thread) override;
  void* get_api() override { return m_api; }

  using BinCommon::rd_value;
  using BinCommon::wr_value;
  // The pointer-array form (an array argument picks it over the variadic one).
  using BinCommon::rd_parms_lst;

  int rg_state() const { return m_rg_state; }

protected:
  // One property entry of a stream: ',' unless first, module, object, then the
  // kind byte, property id and value ('N' and no value when value is null).
  Status add_stream_entry(CommandInitiator* thread, int& counter, unsigned propid, unsigned modid,
                          unsigned oid, const void* value, unsigned descriptor);
  Status rd_group_head(CommandInitiator* thread);

  int m_num_get_property = 0;
  int m_num_property_change = 0;
  int m_rg_state = 0;
  SEIntList m_rg_props;
  unsigned m_rg_count = 0;
  unsigned m_rg_oid = 0;
  unsigned m_rg_modid = 0;
};

}  // namespace Protocol
}  // namespace Sid

#endif
