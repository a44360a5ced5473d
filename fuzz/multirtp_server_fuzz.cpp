// The voice host's receive path: whatever a runtime sends on the server
// connection is decoded and dispatched to the gateway's implementation,
// until the connection would be ended.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Velmora/registry/Registry.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"
#include "VoiceHost/transport/AVTransport.h"

namespace {

// The input as the bytes a runtime sent; what the server answers is discarded.
class InputTransport : public Sid::AVTransport {
public:
  InputTransport(const uint8_t* data, size_t size) : d_data(data), d_size(size) {}
  bool Connect(const char*, bool, int) override { return true; }
  void Disconnect() override {}
  bool WriteStart() override { return true; }
  bool Write(const void*, size_t) override { return true; }
  bool WriteComplete() override { return true; }
  bool ReadStart() override { return true; }
  bool Read(void* buf, size_t count) override {
    if (count > d_size - d_pos) return false;  // the peer closed
    if (count) memcpy(buf, d_data + d_pos, count);
    d_pos += count;
    return true;
  }
  bool ReadComplete() override { return true; }

private:
  const uint8_t* d_data;
  size_t d_size;
  size_t d_pos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static S_Skype account = [] {
    S_Skype a;
    a.name = "fuzz";
    return a;
  }();
  gwconfig.rtpplaytype = size % 3 == 0 ? 0 : size % 3 == 1 ? 8 : 18;
  static Sid::SkypeMultiRTPCallbackInterfaceClient callback;  // not connected: packets to Skype are lost
  Sid::SkypeMultiRTPInterfaceServer server(std::make_unique<InputTransport>(data, size));
  std::unique_ptr<Sid::SkypeMultiRTPInterface> impl = Sid::SkypeMultiRTPInterfaceGet(&callback, &account);
  server.set_if(impl.get());
  server.Connect("fuzz", 0);
  for (int calls = 0; calls < 4096 && server.ProcessCommands() == 0; ++calls) {
  }
  server.set_if(nullptr);
  account.vhstate->participantchannel.clear();
  return 0;
}
