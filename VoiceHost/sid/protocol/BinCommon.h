#ifndef SID_PROTOCOL_BINCOMMON_H
#define SID_PROTOCOL_BINCOMMON_H

#include <cstdarg>
#include <cstdint>
#include <memory>

#include "VoiceHost/sid/protocol/Field.h"
#include "VoiceHost/sid/protocol/GrowingCircularBuffer.h"
#include "VoiceHost/sid/protocol/Status.h"
#include "VoiceHost/sid/protocol/TransportInterface.h"
#include "VoiceHost/sid/types/SEBinary.h"
#include "VoiceHost/sid/types/SEIntList.h"
#include "VoiceHost/sid/types/SEString.h"

namespace Sid {
namespace Protocol {

// Value coding, parameter messages, property streams, the event buffer and
// request ids, shared by BinClient and BinServer. Bytes are streamed straight
// to and from the transport while a message is walked; nothing is assembled
// first. A protocol object has no lock: its owner serialises all encoding, and
// decoding happens on one thread.
class BinCommon {
public:
  using GrowingCircularBuffer = Protocol::GrowingCircularBuffer;
  // A reader stores one value of its kind at dest; index names the descriptor
  // (used by lists and structs). A writer writes one value; a skipper skips one.
  using Reader = Status (*)(BinCommon& self, CommandInitiator* thread, void* dest, unsigned index);
  using Writer = Status (*)(BinCommon& self, CommandInitiator* thread, const void* src, unsigned index);
  using Skipper = Status (*)(BinCommon& self, CommandInitiator* thread);

  // Limits of decoding.
  static constexpr int MAX_DEPTH = 10;         // nested messages below the top one
  static constexpr int MAX_UNKNOWN_FIELDS = 30;  // unrecognised fields per message
  static constexpr int MAX_LIST_DEPTH = 10;    // lists inside skipped lists

  // How wr_preencoded writes the request id after the header.
  enum IdMode { ID_NONE = 0, ID_GIVEN = 1, ID_NEXT = 2 };

  BinCommon(void* api, TransportInterface* transport, const Field* descriptors);
  virtual ~BinCommon();
  BinCommon(const BinCommon&) = delete;
  BinCommon& operator=(const BinCommon&) = delete;

  // --- values ------------------------------------------------------------
  Status rd_value(unsigned char kind, CommandInitiator* thread, void* dest, unsigned index);
  Status wr_value(unsigned char kind, CommandInitiator* thread, const void* src, unsigned index);
  Status sk_value(unsigned char kind, CommandInitiator* thread);

  Status wr_value(CommandInitiator* thread, unsigned value);
  Status wr_value(CommandInitiator* thread, int value);
  Status wr_value(CommandInitiator* thread, uint64_t value);
  Status wr_value(CommandInitiator* thread, const SEString& value);
  Status wr_value(CommandInitiator* thread, const SEFilename& value);
  Status wr_value(CommandInitiator* thread, const SEBinary& value);
  Status rd_value(CommandInitiator* thread, unsigned& value);
  Status rd_value(CommandInitiator* thread, int& value);
  Status rd_value(CommandInitiator* thread, uint64_t& value);
  Status rd_value(CommandInitiator* thread, SEString& value);
  Status rd_value(CommandInitiator* thread, SEFilename& value);
  Status rd_value(CommandInitiator* thread, SEBinary& value);
  Status rd_uchar(CommandInitiator* thread, unsigned char& byte);

  // --- parameter messages -------------------------------------------------
  // Write a message and end the encoding.
  Status wr_parms(CommandInitiator* thread, const void* record, unsigned descriptor, bool immediate);
  // pointers: one per field of the message, in descriptor order.
  Status wr_parms_lst(CommandInitiator* thread, unsigned descriptor, bool immediate,
                      const void* const* pointers);
  Status wr_parms_vlst(CommandInitiator* thread, unsigned descriptor, bool immediate, va_list pointers);
  // The empty message: a lone 'z'.
  Status wr_parms(CommandInitiator* thread, bool immediate);
  // Read (or skip) one message; on success the decoding is ended.
  Status rd_parms(CommandInitiator* thread, void* record, unsigned descriptor);
  Status rd_parms_lst(CommandInitiator* thread, unsigned descriptor, void* const* pointers);
  Status rd_parms_vlst(CommandInitiator* thread, unsigned descriptor, va_list pointers);
  Status sk_parms(CommandInitiator* thread);

  // A message whose first bytes were encoded in advance, then the request id
  // by id_mode (ID_NEXT takes m_rid and returns it in rid), then the parameters
  // (or a fixed footer such as "z"), then end_encoding(immediate).
  Status wr_preencoded(CommandInitiator* thread, const char* header, unsigned header_size, int id_mode,
                       unsigned& rid, const void* record, unsigned descriptor, bool immediate);
  Status wr_preencoded_lst(CommandInitiator* thread, const char* header, unsigned header_size,
                           int id_mode, unsigned& rid, unsigned descriptor, bool immediate,
                           const void* const* pointers);
  Status wr_preencoded_vlst(CommandInitiator* thread, const char* header, unsigned header_size,
                            int id_mode, unsigned& rid, unsigned descriptor, bool immediate,
                            va_list pointers);
  Status wr_preencoded(CommandInitiator* thread, const char* header, unsigned header_size, int id_mode,
                       unsigned& rid, const char* footer, unsigned footer_size, bool immediate);

  // --- message start, property streams, event buffer ------------------------
  // Begins decoding and reads 'Z' and the command byte (not validated).
  Status rd_message_start(CommandInitiator* thread, Command& cmd);
  // The next property of a 'g' or 'C' stream; the caller then reads or skips
  // the value by kind ('N': no value; 'T'/'F': the value is the kind). After
  // the last property: COMPLETED, with the decoding ended.
  Status rd_property(CommandInitiator* thread, unsigned& modid, unsigned& oid, unsigned& propid,
                     unsigned char& kind);
  // Reads the next message start from the transport; events and property
  // changes are copied whole into the event buffer (cmd tells which), a
  // response or property reply is left for the caller to read.
  Status buffer_events(CommandInitiator* thread, Command& cmd);
  bool has_buffered_event() const { return m_buffer.size() != 0; }
  // After a decoding failure: reset the decoder and end the decoding with error.
  Status resync_decode(CommandInitiator* thread);

  // --- low level --------------------------------------------------------
  // Reads through the event-buffer rules; a null dest discards.
  Status rd_bytes(CommandInitiator* thread, unsigned n, char* dest);
  Status wr_bytes(CommandInitiator* thread, unsigned n, const char* src);
  Status rd_uint(CommandInitiator* thread, uint32_t& value);
  Status rd_uint64(CommandInitiator* thread, uint64_t& value);
  Status wr_uint(CommandInitiator* thread, uint32_t value);
  // Begin an outgoing message / end it (flushing what is staged).
  Status start_encoding(CommandInitiator* thread);
  Status finish_encoding(CommandInitiator* thread, bool immediate);
  // Ends an incoming message read successfully.
  Status finish_decoding(CommandInitiator* thread);
  // One field (kind byte, tag, value) as inside a message or a property stream.
  Status wr_field(CommandInitiator* thread, const Field& f, unsigned index, const void* value, unsigned tag);

  // Replace the function of one kind for this object only (the object model
  // reads 'O' values straight into references).
  void set_reader(unsigned char kind, Reader reader);
  void set_writer(unsigned char kind, Writer writer);
  void set_skipper(unsigned char kind, Skipper skipper);

  // --- inspection -------------------------------------------------------
  TransportInterface* transport() const { return m_transport; }
  const Field* descriptors() const { return m_fields; }
  void* api() const { return m_api; }
  unsigned next_request_id() const { return m_rid; }
  int buffering() const { return m_buffering; }
  int depth() const { return m_depth; }
  const GrowingCircularBuffer& event_buffer() const { return m_buffer; }

  // Varint coding into a caller's buffer (at least 5 or 10 bytes); returns the length.
  static unsigned encode_uint(char* out, uint32_t value);
  static unsigned encode_uint64(char* out, uint64_t value);
  static uint32_t zigzag(int32_t value) { return (static_cast<uint32_t>(value) << 1) ^ static_cast<uint32_t>(value >> 31); }
  static int32_t unzigzag(uint32_t value) { return static_cast<int32_t>((value >> 1) ^ (0u - (value & 1u))); }

protected:
  struct ParamList;
  Status rd_message(CommandInitiator* thread, void* record, unsigned descriptor, ParamList* params);
  Status sk_message(CommandInitiator* thread);
  Status wr_message(CommandInitiator* thread, const void* record, unsigned descriptor, ParamList* params);
  Status wr_parms_with(CommandInitiator* thread, const void* record, unsigned descriptor, ParamList* params,
                       bool immediate);
  Status rd_parms_with(CommandInitiator* thread, void* record, unsigned descriptor, ParamList* params);
  Status wr_preencoded_with(CommandInitiator* thread, const char* header, unsigned header_size, int id_mode,
                            unsigned& rid, const void* record, unsigned descriptor, ParamList* params,
                            bool immediate);
  Status skip_property_stream(CommandInitiator* thread);
  Status flush_output(CommandInitiator* thread);

  void* m_api;
  TransportInterface* m_transport;
  int m_depth = 0;
  unsigned m_begin_property = 0;
  unsigned m_mod_property = 0;
  unsigned m_obj_property = 0;
  int m_buffering = 0;
  unsigned m_rid = 0;
  GrowingCircularBuffer m_buffer;
  const Field* m_fields;
  const Reader* m_readers;
  const Writer* m_writers;
  const Skipper* m_skippers;

private:
  friend struct KindFunctions;
  Status rd_bytes_copying(CommandInitiator* thread, unsigned n, char* dest);

  int m_list_depth = 0;
  // Set when a function was replaced; otherwise the shared tables are used.
  std::unique_ptr<Reader[]> m_own_readers;
  std::unique_ptr<Writer[]> m_own_writers;
  std::unique_ptr<Skipper[]> m_own_skippers;
  // Small writes are staged here and passed to the transport in one piece.
  static constexpr unsigned STAGE_SIZE = 64;
  char m_stage[STAGE_SIZE];
  unsigned m_stage_len = 0;
  bool m_write_failed = false;
};

}  // namespace Protocol
}  // namespace Sid

#endif
