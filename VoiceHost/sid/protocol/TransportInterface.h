#ifndef SID_PROTOCOL_TRANSPORTINTERFACE_H
#define SID_PROTOCOL_TRANSPORTINTERFACE_H

namespace Sid {

// One logical caller of the protocol (the client session's thread that may
// block for an answer). The voice host passes null.
class CommandInitiator;

// Where the protocol's bytes go and come from. One outgoing message is
// bl_start_encoding, any number of bl_write_bytes, then end_encoding; one
// incoming message is bl_start_decoding, any number of bl_read_bytes (a null
// destination discards), then end_decoding or end_decoding_with_error.
class TransportInterface {
public:
  enum Status { OK = 0, ERR_READ = 1, ERR_WRITE = 2, ERR_CONNECTION = 3 };

  virtual Status bl_start_decoding(CommandInitiator* thread) = 0;
  virtual Status bl_read_bytes(CommandInitiator* thread, unsigned num_bytes, char* dest) = 0;
  virtual Status end_decoding(CommandInitiator* thread) = 0;
  virtual Status end_decoding_with_error(CommandInitiator* thread) { return end_decoding(thread); }
  virtual Status bl_start_encoding(CommandInitiator* thread) = 0;
  virtual Status bl_write_bytes(CommandInitiator* thread, unsigned num_bytes, const char* src) = 0;
  virtual Status end_encoding(CommandInitiator* thread, bool immediate) = 0;
  virtual Status terminate() = 0;
  virtual ~TransportInterface() = default;
};

}  // namespace Sid

#endif
