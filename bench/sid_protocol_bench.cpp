// Encoding and decoding of the two hot messages over the memory transport,
// beside a plain memcpy of the same bytes measured in the same run:
//  - a SubmitRTPPacket call carrying a 172-byte RTP packet,
//  - a property reply with three properties (a string, a uint, a boolean).
// Each benchmark also reports the heap allocations per message (counted by
// wrapping malloc/realloc/calloc and operator new), which should be zero.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "VoiceHost/sid/protocol/BinClient.h"
#include "VoiceHost/sid/protocol/BinServer.h"
#include "VoiceHost/sid/protocol/MemoryTransport.h"
#include "tests/unit/SidTestTables.h"

namespace {
std::atomic<unsigned long> g_allocs{0};
}

extern "C" {
void* __real_malloc(size_t);
void* __real_realloc(void*, size_t);
void* __real_calloc(size_t, size_t);
void* __wrap_malloc(size_t n)
{
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __real_malloc(n);
}
void* __wrap_realloc(void* p, size_t n)
{
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __real_realloc(p, n);
}
void* __wrap_calloc(size_t n, size_t m)
{
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __real_calloc(n, m);
}
}

// Replaced so that allocations of the standard containers are counted too;
// storage comes from malloc, so free releases it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n)
{
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  if (void* p = __real_malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
#pragma GCC diagnostic pop

namespace {

using namespace Sid::Protocol;
using Sid::MemoryTransport;
namespace T = SidTest;

const char kSubmitHeader[] = {'Z', 'R', 0x00, 0x28};  // module 0, method 40

struct Link {
  MemoryTransport client_end, server_end;
  BinClient client{&client_end, T::kFields};
  BinServer server{nullptr, &server_end, T::kFields};
  Link() { MemoryTransport::link(client_end, server_end); }
};

std::string rtp_packet()
{
  std::string p(172, '\0');
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<char>(i * 13 + 5);
  return p;
}

void report(benchmark::State& state, unsigned long allocs_before)
{
  state.SetItemsProcessed(state.iterations());
  state.counters["msgs_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["allocs_per_msg"] =
      static_cast<double>(g_allocs.load() - allocs_before) / static_cast<double>(state.iterations());
}

// The bytes of one SubmitRTPPacket call (request id 300, channel 1).
std::string submit_bytes()
{
  Link l;
  std::string rtp = rtp_packet();
  T::IntBinary rec{1, SEBinary(rtp.data(), 172)};
  unsigned rid = 300;
  l.client.wr_preencoded(nullptr, kSubmitHeader, 4, BinCommon::ID_GIVEN, rid, &rec, T::RTP, true);
  std::string out(l.server_end.available(), '\0');
  l.server_end.bl_read_bytes(nullptr, static_cast<unsigned>(out.size()), out.data());
  return out;
}

void BM_Memcpy_SubmitRTPPacket(benchmark::State& state)
{
  std::string src = submit_bytes();
  std::vector<char> dst(src.size());
  unsigned long before = g_allocs.load();
  for (auto _ : state) {
    memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  report(state, before);
  state.counters["bytes"] = static_cast<double>(src.size());
}

void BM_SubmitRTPPacket_Encode(benchmark::State& state)
{
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  std::string rtp = rtp_packet();
  T::IntBinary rec{1, SEBinary(rtp.data(), 172)};
  t.output();
  unsigned rid = 300;
  c.wr_preencoded(nullptr, kSubmitHeader, 4, BinCommon::ID_GIVEN, rid, &rec, T::RTP, true);  // warm up
  t.clear_output();
  unsigned long before = g_allocs.load();
  for (auto _ : state) {
    c.wr_preencoded(nullptr, kSubmitHeader, 4, BinCommon::ID_GIVEN, rid, &rec, T::RTP, true);
    benchmark::DoNotOptimize(t.output().data());
    t.clear_output();
  }
  report(state, before);
}

// Decoding includes handing the bytes to the transport (one memcpy of them).
void BM_SubmitRTPPacket_Decode(benchmark::State& state)
{
  std::string wire = submit_bytes();
  MemoryTransport t;
  BinServer s(nullptr, &t, T::kFields);
  T::IntBinary rec{};
  auto one = [&]() {
    t.feed(wire.data(), wire.size());
    Command cmd;
    unsigned modid, method, rid;
    if (s.rd_command(nullptr, cmd) != OK || s.rd_call(nullptr, modid, method, rid) != OK ||
        s.rd_parms(nullptr, &rec, T::RTP) != OK)
      abort();
  };
  one();  // warm up: the record's binary gets its storage
  unsigned long before = g_allocs.load();
  for (auto _ : state) {
    one();
    benchmark::DoNotOptimize(rec.data.data());
  }
  report(state, before);
}

void BM_SubmitRTPPacket_RoundTrip(benchmark::State& state)
{
  Link l;
  std::string rtp = rtp_packet();
  T::IntBinary out{1, SEBinary(rtp.data(), 172)};
  T::IntBinary in{};
  auto one = [&]() {
    unsigned rid;
    Command cmd;
    unsigned modid, method, srid;
    if (l.client.wr_call(nullptr, kSubmitHeader, 4, rid, &out, T::RTP) != OK ||
        l.server.rd_command(nullptr, cmd) != OK || l.server.rd_call(nullptr, modid, method, srid) != OK ||
        l.server.rd_parms(nullptr, &in, T::RTP) != OK)
      abort();
  };
  one();
  unsigned long before = g_allocs.load();
  for (auto _ : state) {
    one();
    benchmark::DoNotOptimize(in.data.data());
  }
  report(state, before);
}

struct PropertyReply {
  Link l;
  T::Properties out{"alice.smith", 2, true};
  SEString name;
  unsigned status = 0;
  bool online = false;

  void write()
  {
    if (l.server.begin_get_response(nullptr) != OK ||
        l.server.add_get_property(nullptr, 4, 10, 1234, &out.name, T::PROP_STRING) != OK ||
        l.server.add_get_property(nullptr, 34, 10, 1234, &out.status, T::PROP_UINT) != OK ||
        l.server.add_get_property(nullptr, 35, 10, 1234, &out.online, T::PROP_BOOL) != OK ||
        l.server.end_get_response(nullptr) != OK)
      abort();
  }
  void read()
  {
    Command cmd;
    if (l.client.rd_response_or_event(nullptr, cmd) != OK) abort();
    for (;;) {
      unsigned modid, oid, propid;
      unsigned char kind;
      Status s = l.client.rd_property(nullptr, modid, oid, propid, kind);
      if (s == COMPLETED) return;
      if (s != OK) abort();
      void* dest = kind == 'S' ? static_cast<void*>(&name) : kind == 'u' ? static_cast<void*>(&status)
                                                                         : static_cast<void*>(&online);
      if (l.client.rd_value(kind, nullptr, dest, 0) != OK) abort();
    }
  }
};

void BM_Memcpy_PropertyReply(benchmark::State& state)
{
  PropertyReply p;
  p.write();
  std::string src(p.l.client_end.available(), '\0');
  p.l.client_end.bl_read_bytes(nullptr, static_cast<unsigned>(src.size()), src.data());
  std::vector<char> dst(src.size());
  unsigned long before = g_allocs.load();
  for (auto _ : state) {
    memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  report(state, before);
  state.counters["bytes"] = static_cast<double>(src.size());
}

void BM_PropertyReply_RoundTrip(benchmark::State& state)
{
  PropertyReply p;
  p.write();
  p.read();
  unsigned long before = g_allocs.load();
  for (auto _ : state) {
    p.write();
    p.read();
    benchmark::DoNotOptimize(p.status);
  }
  report(state, before);
  if (!(p.name == "alice.smith") || p.status != 2 || !p.online) abort();
}

}  // namespace

BENCHMARK(BM_Memcpy_SubmitRTPPacket);
BENCHMARK(BM_SubmitRTPPacket_Encode);
BENCHMARK(BM_SubmitRTPPacket_Decode);
BENCHMARK(BM_SubmitRTPPacket_RoundTrip);
BENCHMARK(BM_Memcpy_PropertyReply);
BENCHMARK(BM_PropertyReply_RoundTrip);
BENCHMARK_MAIN();
