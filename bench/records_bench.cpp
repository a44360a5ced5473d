// What a finished call costs: on the call handler's side, the copy of its
// record into the writer's queue; on the writer's side, the call record,
// the statistics rewrite and the channel state rewrite. The baseline is an
// append of the same bytes to a plain file without locks or reads.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Tools/ChannelState.h"
#include "Tools/FileLayer.h"
#include "Tools/ReadXml.h"
#include "Velmora/registry/Registry.h"

namespace {

struct TempDir {
  TempDir() {
    char templ[] = "/tmp/velmora-bench-XXXXXX";
    if (mkdtemp(templ)) dir = std::string(templ) + "/";
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

S_User finished_call() {
  S_User u;
  u.calltype = CALL_SIP_TO_SKYPE;
  u.callresult = RESULT_CONNECTED;
  u.start = 1773575000;
  u.startconversation = 1773575005;
  u.end = 1773575130;
  u.skypepeer = "echo123";
  u.sipuserid = "1001";
  u.peer = "200";
  u.skypeuser = "gw.sk";
  u.channel = 3;
  u.status = CHAN_CONNECTED;
  return u;
}

void BM_QueueCopy(benchmark::State& state) {
  S_User u = finished_call();
  for (auto _ : state) {
    addcdr(u);
    if (v_cdr.size() >= 1024) {
      std::lock_guard<SkypeMutex> lock(cdrmutex);
      v_cdr.clear();
    }
  }
  v_cdr.clear();
  countcdr = 0;
}
BENCHMARK(BM_QueueCopy);

void BM_PlainAppendBaseline(benchmark::State& state) {
  TempDir tmp;
  std::string path = tmp.dir + "plain.txt";
  std::string text(150, 'x');
  for (auto _ : state) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (write(fd, text.data(), text.size()) < 0) state.SkipWithError("write");
    close(fd);
  }
}
BENCHMARK(BM_PlainAppendBaseline);

void BM_SaveCDR(benchmark::State& state) {
  TempDir tmp;
  ReadXml rx(tmp.dir);
  S_User u = finished_call();
  for (auto _ : state) benchmark::DoNotOptimize(rx.saveCDR(u));
}
BENCHMARK(BM_SaveCDR);

void BM_SaveStatis(benchmark::State& state) {
  TempDir tmp;
  ReadXml rx(tmp.dir);
  S_User u = finished_call();
  for (auto _ : state) benchmark::DoNotOptimize(rx.SaveStatis(u, 0));
}
BENCHMARK(BM_SaveStatis);

void BM_ChannelStateRewrite32(benchmark::State& state) {
  TempDir tmp;
  ReadXml rx(tmp.dir);
  std::string text;
  S_User u = finished_call();
  for (int ch = 1; ch <= 32; ++ch) {
    u.channel = ch;
    text += channel_block(u);
  }
  for (auto _ : state) {
    int fd = -1;
    if (rx.openchanstate(&fd) != 0) state.SkipWithError("open");
    gw_fwrite(fd, text.data(), static_cast<int>(text.size()));
    gw_fclose(fd);
  }
}
BENCHMARK(BM_ChannelStateRewrite32);

}  // namespace

BENCHMARK_MAIN();
