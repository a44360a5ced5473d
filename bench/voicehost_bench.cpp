// Per-packet cost of the voice interface: decoding and dispatching one
// SubmitRTPPacket call, and sending one SendRTPPacket call on a real socket,
// each beside a baseline (copying the bytes; a bare send of the same bytes).

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "Velmora/registry/Registry.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"
#include "VoiceHost/transport/AVTransport.h"

namespace {

// Serves the same encoded call again and again, as if the runtime kept sending it.
class RepeatTransport : public Sid::AVTransport {
public:
  explicit RepeatTransport(std::vector<unsigned char> msg) : d_msg(std::move(msg)) {}
  bool Connect(const char*, bool, int) override { return true; }
  void Disconnect() override {}
  bool WriteStart() override { return true; }
  bool Write(const void*, size_t) override { return true; }
  bool WriteComplete() override { return true; }
  bool ReadStart() override { return true; }
  bool Read(void* buf, size_t count) override {
    auto* out = static_cast<unsigned char*>(buf);
    while (count) {
      size_t n = std::min(count, d_msg.size() - d_pos);
      memcpy(out, d_msg.data() + d_pos, n);
      out += n;
      count -= n;
      d_pos = (d_pos + n) % d_msg.size();
    }
    return true;
  }
  bool ReadComplete() override { return true; }

private:
  std::vector<unsigned char> d_msg;
  size_t d_pos = 0;
};

std::vector<unsigned char> submit_call() {
  std::vector<unsigned char> m = {0x5A, 0x52, 0x00, 0x28, 0xAC, 0x02, 0x69, 0x01, 0x02, 0x42, 0x02, 0xAC, 0x01};
  for (int i = 0; i < 172; ++i) m.push_back(static_cast<unsigned char>(i));
  m.push_back(0x7A);
  return m;
}

void BM_SubmitRTPPacketDecode(benchmark::State& state) {
  static S_Skype account;
  account.name = "bench";
  Sid::SkypeMultiRTPCallbackInterfaceClient callback;
  Sid::SkypeMultiRTPInterfaceServer server(std::make_unique<RepeatTransport>(submit_call()));
  auto impl = Sid::SkypeMultiRTPInterfaceGet(&callback, &account);
  server.set_if(impl.get());
  server.Connect("bench", 0);
  for (auto _ : state) {
    if (server.ProcessCommands() != 0) state.SkipWithError("decode failed");
  }
  server.set_if(nullptr);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SubmitRTPPacketDecode);

void BM_BaselineCopy(benchmark::State& state) {
  auto msg = submit_call();
  std::vector<unsigned char> out(msg.size());
  for (auto _ : state) {
    memcpy(out.data(), msg.data(), msg.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineCopy);

// A runtime that drains the callback connection.
struct Drain {
  int listener = -1;
  int peer = -1;
  std::atomic<bool> stop{false};
  std::thread t;
  std::string key = "/bench-" + std::to_string(getpid()) + "/multirtp_to_skypekit_key";
  Drain() {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    memcpy(a.sun_path + 1, key.data(), key.size());
    listener = socket(AF_UNIX, SOCK_STREAM, 0);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 1);
  }
  void run() {
    peer = accept(listener, nullptr, nullptr);
    t = std::thread([this] {
      char buf[65536];
      while (read(peer, buf, sizeof buf) > 0) {
      }
    });
  }
  ~Drain() {
    if (peer >= 0) shutdown(peer, SHUT_RDWR);
    if (t.joinable()) t.join();
    if (peer >= 0) close(peer);
    close(listener);
  }
};

void BM_SendRTPPacket(benchmark::State& state) {
  Drain drain;
  Sid::SkypeMultiRTPCallbackInterfaceClient client;
  if (!client.Connect(drain.key.c_str(), 500)) {
    state.SkipWithError("no connection");
    return;
  }
  drain.run();
  SEBinary packet;
  packet.resize(172);
  for (auto _ : state) client.SendRTPPacket(0, packet);
  client.Disconnect();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendRTPPacket);

void BM_BaselineSend(benchmark::State& state) {
  int sv[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
  std::thread t([&] {
    char buf[65536];
    while (read(sv[1], buf, sizeof buf) > 0) {
    }
  });
  std::vector<char> msg(185, 'x');
  for (auto _ : state) send(sv[0], msg.data(), msg.size(), MSG_NOSIGNAL);
  shutdown(sv[0], SHUT_RDWR);
  t.join();
  close(sv[0]);
  close(sv[1]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineSend);

}  // namespace

BENCHMARK_MAIN();
