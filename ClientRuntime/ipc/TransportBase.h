#ifndef CLIENTRUNTIME_IPC_TRANSPORTBASE_H
#define CLIENTRUNTIME_IPC_TRANSPORTBASE_H

// The transport interface the binary protocol reads and writes through.
namespace Sid {

class CommandInitiator;

class TransportInterface {
public:
  enum Status { OK = 0, ERR_READ = 1, ERR_WRITE = 2, ERR_CONNECTION = 3 };
  virtual Status bl_start_decoding(CommandInitiator* thread) = 0;
  virtual Status bl_read_bytes(CommandInitiator* thread, unsigned n, char* dst) = 0;
  virtual Status end_decoding(CommandInitiator* thread) = 0;
  virtual Status end_decoding_with_error(CommandInitiator* thread) { return end_decoding(thread); }
  virtual Status bl_start_encoding(CommandInitiator* thread) = 0;
  virtual Status bl_write_bytes(CommandInitiator* thread, unsigned n, const char* src) = 0;
  virtual Status end_encoding(CommandInitiator* thread, bool immediate) = 0;
  virtual Status terminate() = 0;
  virtual ~TransportInterface() = default;
};

} // namespace Sid

#endif
