// One 20 ms PCMA packet through RTP_Packet + RTP_Send over loopback, beside a
// bare sendto of the same 172 bytes from a socket of the same kind, measured
// in the same run; the ratio of the two is printed at the end.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Velmora/registry/Registry.h"
#include "Velmora/rtp/rtp.h"

namespace {

// A loopback socket that nobody reads: the kernel drops what overflows its
// buffer, the same for both benchmarks.
struct Sink {
  int fd;
  sockaddr_in addr{};
  Sink() {
    fd = socket(AF_INET, SOCK_DGRAM, 0);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  }
  ~Sink() { close(fd); }
};

void BM_RtpPacketAndSend(benchmark::State& state) {
  Sink sink;
  gwconfig.localip = "127.0.0.1";
  S_User channel;
  RTP_SENDER_S* sender = nullptr;
  if (RTP_Sender_Create(&sender, RTP_PT_ALAW, 0, &channel) != 0) {
    state.SkipWithError("cannot create the sender");
    return;
  }
  RTP_Sender_Add(sender, "127.0.0.1", ntohs(sink.addr.sin_port));
  unsigned char payload[160];
  memset(payload, 0xD5, sizeof payload);
  for (auto _ : state) {
    RTP_Packet(sender, 160, 0, payload, sizeof payload, RTP_PT_ALAW);
    benchmark::DoNotOptimize(RTP_Send(sender));
  }
  state.counters["errors"] = sender->stats.sent_error;
  RTP_Sender_Destroy(sender);
}
BENCHMARK(BM_RtpPacketAndSend);

void BM_BareSendto(benchmark::State& state) {
  Sink sink;
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  unsigned char packet[172];
  memset(packet, 0xD5, sizeof packet);
  packet[0] = 0x80;
  packet[1] = RTP_PT_ALAW;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        sendto(fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&sink.addr), sizeof sink.addr));
  }
  close(fd);
}
BENCHMARK(BM_BareSendto);

// Keeps the per-iteration (median) times so that the ratio can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // Plain runs, or the median when repetitions are asked for.
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      times_[r.run_name.function_name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto a = times_.find("BM_RtpPacketAndSend"), b = times_.find("BM_BareSendto");
    if (a != times_.end() && b != times_.end() && b->second.first > 0 && b->second.second > 0) {
      printf("RTP_Packet+RTP_Send %.0f ns real %.0f ns CPU; bare sendto %.0f ns real %.0f ns CPU; "
             "ratio %.3f real %.3f CPU\n",
             a->second.first, a->second.second, b->second.first, b->second.second,
             a->second.first / b->second.first, a->second.second / b->second.second);
    }
  }

private:
  std::map<std::string, std::pair<double, double>> times_;  // real, CPU ns per packet
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
