// Client session figures: call round trips over loopback TLS to a minimal
// runtime (a method with one parameter and one result), against a bare TLS
// ping-pong of the same sizes; and property reads served from the cache.
#include <atomic>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ClientRuntime/api/generated/SkypeApi.h"
#include "tests/unit/clientruntime/TestPeer.h"

namespace {

std::string varint(unsigned v) {
  std::string out;
  do {
    unsigned char b = v & 0x7F;
    v >>= 7;
    out += static_cast<char>(v ? (b | 0x80) : b);
  } while (v);
  return out;
}

// Answers every GetConversationByIdentity call with a conversation reference
// until the connection closes.
class MinimalRuntime {
public:
  explicit MinimalRuntime(testpeer::Peer& peer) : m_peer(peer) {}
  void run() {
    std::string in;
    for (;;) {
      std::string more = m_peer.read(1, 60000);
      if (more.empty()) return;
      in += more;
      in += m_peer.read_available(0);
      // "ZR" 00 0F rid 'S' 01 len bytes 'z'
      for (;;) {
        size_t pos = 4;
        if (in.size() < pos + 1) break;
        unsigned rid = 0, shift = 0;
        while (pos < in.size() && (static_cast<unsigned char>(in[pos]) & 0x80)) {
          rid |= (static_cast<unsigned char>(in[pos++]) & 0x7Fu) << shift;
          shift += 7;
        }
        if (pos >= in.size()) break;
        rid |= static_cast<unsigned char>(in[pos++]) << shift;
        if (in.size() < pos + 3) break;
        unsigned len = static_cast<unsigned char>(in[pos + 2]);
        size_t end = pos + 3 + len + 1;
        if (in.size() < end) break;
        in.erase(0, end);
        m_peer.write("Zr" + varint(rid) + "O\x01\x07z");
      }
    }
  }

private:
  testpeer::Peer& m_peer;
};

struct Session {
  testpeer::Peer peer{true};
  Skype skype{4};
  std::thread runtime;
  bool ok = false;
  Session() {
    std::thread t([&] { ok = peer.accept() && peer.read(8) == "00000000" && peer.write("OK"); });
    int r = skype.init(testpeer::self_signed_pem().c_str(), "127.0.0.1", peer.port(), nullptr, 0, 0);
    t.join();
    ok = ok && r == 0;
    runtime = std::thread([this] { MinimalRuntime(peer).run(); });
  }
  ~Session() {
    skype.stop();
    runtime.join();
  }
};

void BM_CallRoundTripTls(benchmark::State& state) {
  Session s;
  if (!s.ok) {
    state.SkipWithError("no session");
    return;
  }
  ConversationRef out;
  for (auto _ : state) {
    if (!s.skype.GetConversationByIdentity("echo123", out)) {
      state.SkipWithError("call failed");
      break;
    }
  }
  state.counters["calls/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CallRoundTripTls)->UseRealTime();

// The baseline: the same bytes bounced over a bare TLS connection.
void BM_BareTlsPingPong(benchmark::State& state) {
  testpeer::Peer server(true);
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  BIO* bio = BIO_new_mem_buf(testpeer::self_signed_pem().c_str(), -1);
  X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_ctrl(bio, BIO_CTRL_RESET, 0, nullptr);
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  SSL_CTX_use_certificate(ctx, cert);
  SSL_CTX_use_PrivateKey(ctx, key);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(static_cast<uint16_t>(server.port()));
  std::atomic<bool> accepted{false};
  std::thread t([&] { accepted = server.accept(); });
  connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  SSL* ssl = SSL_new(ctx);
  SSL_set_fd(ssl, fd);
  SSL_accept(ssl);
  t.join();
  std::thread echo([&] {
    for (;;) {
      std::string in = server.read(16, 60000);
      if (in.size() < 16) return;
      server.write(std::string(7, 'r'));
    }
  });
  std::string call(16, 'c');
  char reply[7];
  for (auto _ : state) {
    SSL_write(ssl, call.data(), static_cast<int>(call.size()));
    int got = 0;
    while (got < 7) {
      int r = SSL_read(ssl, reply + got, 7 - got);
      if (r <= 0) break;
      got += r;
    }
  }
  state.counters["trips/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  SSL_shutdown(ssl);
  shutdown(fd, SHUT_RDWR);
  close(fd);
  echo.join();
  SSL_free(ssl);
  SSL_CTX_free(ctx);
  X509_free(cert);
  EVP_PKEY_free(key);
  BIO_free(bio);
}
BENCHMARK(BM_BareTlsPingPong)->UseRealTime();

void BM_CachedPropertyRead(benchmark::State& state) {
  Skype skype(1);
  ConversationRef c(5, &skype);
  Conversation* convo = c.fetch();
  // Fill the cache as a property change would.
  unsigned char kind = 0;
  auto* member = static_cast<SEString*>(skype.get_cached_prop(18, 5, 924, kind));
  *member = "Alice";
  skype.add_prop_cached(18, 5, 924);
  SEString out;
  for (auto _ : state) {
    convo->GetPropDisplayname(out);
    benchmark::DoNotOptimize(out);
  }
  state.counters["reads/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CachedPropertyRead);

} // namespace

BENCHMARK_MAIN();
