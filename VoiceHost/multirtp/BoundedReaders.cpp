#include "VoiceHost/multirtp/BoundedReaders.h"

#include <vector>

#include "VoiceHost/multirtp/MultiRTPMessages.h"
#include "VoiceHost/transport/AVTrace.h"

namespace Sid {
namespace MultiRTP {

namespace {

using Protocol::BinCommon;
using Protocol::Status;

Status read_string(BinCommon& self, CommandInitiator* thread, void* dest, unsigned) {
  SEString& out = *static_cast<SEString*>(dest);
  uint32_t n = 0;
  if (self.rd_uint(thread, n) != Protocol::OK) {
    out = SEString();
    return Protocol::ERR_DECODE;
  }
  if (n == 0) {
    out = SEString();
    return Protocol::OK;
  }
  if (n > kMaxStringBytes) {
    AV_TRACE("string of %u bytes refused (limit %u)\n", n, kMaxStringBytes);
    return Protocol::ERR_DECODE;
  }
  std::vector<char> text(n + 1, '\0');
  if (self.rd_bytes(thread, n, text.data()) != Protocol::OK) return Protocol::ERR_DECODE;
  out = text.data();
  return Protocol::OK;
}

Status read_binary(BinCommon& self, CommandInitiator* thread, void* dest, unsigned) {
  SEBinary& out = *static_cast<SEBinary*>(dest);
  uint32_t n = 0;
  if (self.rd_uint(thread, n) != Protocol::OK) return Protocol::ERR_DECODE;
  if (n > kMaxBinaryBytes) {
    AV_TRACE("binary of %u bytes refused (limit %u)\n", n, kMaxBinaryBytes);
    return Protocol::ERR_DECODE;
  }
  out.resize(n);
  if (n == 0) return Protocol::OK;
  return self.rd_bytes(thread, n, out.data()) == Protocol::OK ? Protocol::OK : Protocol::ERR_DECODE;
}

}  // namespace

void LimitValueSizes(Protocol::BinCommon& protocol) {
  protocol.set_reader(Field::KIND_STRING, read_string);
  protocol.set_reader(Field::KIND_BINARY, read_binary);
}

}  // namespace MultiRTP
}  // namespace Sid
