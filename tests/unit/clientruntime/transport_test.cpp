// The session's byte stream: connecting with retries, the TLS server role,
// the handshake, the 192-byte buffers, the transport log and the loss of the
// peer, against a real loopback peer.
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include "ClientRuntime/ipc/Handshake.h"
#include "ClientRuntime/ipc/TLSTcpClientConnection.h"
#include "tests/unit/clientruntime/TestPeer.h"

namespace {

struct CountingListener : Sid::ConnectionStateListener {
  std::atomic<int> connecting{0}, connected{0}, disconnected{0}, errors{0};
  void Connecting() override { ++connecting; }
  void Connected() override { ++connected; }
  void Disconnected() override { ++disconnected; }
  void OnError(CONNECTION_ERROR e) override {
    if (e == SSL_CERTIFICATE_LOAD_ERR) ++errors;
  }
};

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Connects a TLS session connection to a peer and runs the peer's TLS client
// handshake; the TLS handshake itself completes inside the first write.
struct TlsPair {
  CountingListener listener;
  testpeer::Peer peer{true};
  std::unique_ptr<Sid::TLSTcpClientConnection> conn;
  std::thread peer_side;
  bool accepted = false;
  explicit TlsPair(const char* log = nullptr, const std::string& pem = testpeer::self_signed_pem()) {
    conn = std::make_unique<Sid::TLSTcpClientConnection>(pem.c_str(), "127.0.0.1", peer.port(), log, 0, 0, &listener);
    peer_side = std::thread([this] { accepted = peer.accept(); });
  }
  void join() {
    if (peer_side.joinable()) peer_side.join();
  }
  ~TlsPair() { join(); }
};

TEST(ClientTransport, HandshakeSendsZeroLengthAndKeepsBytesAfterOK) {
  TlsPair p;
  std::thread script([&] {
    p.join();
    ASSERT_TRUE(p.accepted);
    EXPECT_EQ(p.peer.read(8), "00000000");
    EXPECT_EQ(p.peer.read_available(100), "");   // nothing but the length
    // TLS version negotiated by the version-flexible method
    EXPECT_GE(SSL_version(p.peer.ssl()), TLS1_2_VERSION);
    p.peer.write("OKZr");
  });
  EXPECT_EQ(Sid::handshake(*p.conn, "", "OK"), Sid::TransportInterface::OK);
  script.join();
  char rest[2];
  ASSERT_EQ(p.conn->bl_read_bytes(nullptr, 2, rest), Sid::TransportInterface::OK);
  EXPECT_EQ(std::string(rest, 2), "Zr");
  EXPECT_EQ(p.listener.connected, 1);
  EXPECT_EQ(p.listener.disconnected, 0);
}

TEST(ClientTransport, HandshakeWithTokenPrefixesHexLength) {
  TlsPair p;
  std::thread script([&] {
    p.join();
    EXPECT_EQ(p.peer.read(8 + 300), "0000012c" + std::string(300, 't'));
    p.peer.write("OK");
  });
  std::string token(300, 't');
  EXPECT_EQ(Sid::handshake(*p.conn, token.c_str(), "OK"), Sid::TransportInterface::OK);
  script.join();
}

TEST(ClientTransport, WrongHandshakeReplyClosesConnection) {
  TlsPair p;
  std::thread script([&] {
    p.join();
    p.peer.read(8);
    p.peer.write("NO");
  });
  EXPECT_EQ(Sid::handshake(*p.conn, "", "OK"), Sid::TransportInterface::ERR_CONNECTION);
  script.join();
  EXPECT_FALSE(p.conn->is_connected());
  EXPECT_EQ(p.listener.disconnected, 1);
}

TEST(ClientTransport, BadCertificateReportsErrorAndHandshakeFails) {
  for (const char* pem : {"not a pem", ""}) {
    CountingListener listener;
    testpeer::Peer peer(true);
    Sid::TLSTcpClientConnection conn(pem, "127.0.0.1", peer.port(), nullptr, 0, 0, &listener);
    EXPECT_EQ(listener.errors, 1) << pem;
    EXPECT_EQ(Sid::handshake(conn, "", "OK"), Sid::TransportInterface::ERR_CONNECTION);
    EXPECT_EQ(listener.disconnected, 1);
  }
}

TEST(ClientTransport, RetriesCallConnectingBetweenAttempts) {
  struct Case {
    int retries;
    int connecting;
  } cases[] = {{0, 0}, {2, 2}};
  for (const auto& c : cases) {
    CountingListener listener;
    Sid::TcpClientConnection conn("127.0.0.1", testpeer::closed_port(), nullptr, c.retries, 0, &listener);
    EXPECT_FALSE(conn.is_connected());
    EXPECT_EQ(listener.connecting, c.connecting) << c.retries;
    EXPECT_EQ(listener.connected, 0);
    EXPECT_EQ(listener.disconnected, 0);
  }
}

TEST(ClientTransport, OutputBufferHolds192BytesAnd193Send) {
  CountingListener listener;
  testpeer::Peer peer(false);
  Sid::TcpClientConnection conn("127.0.0.1", peer.port(), nullptr, 0, 0, &listener);
  ASSERT_TRUE(peer.accept());
  std::string a(192, 'a');
  conn.bl_start_encoding(nullptr);
  ASSERT_EQ(conn.bl_write_bytes(nullptr, 100, a.data()), Sid::TransportInterface::OK);
  ASSERT_EQ(conn.bl_write_bytes(nullptr, 92, a.data()), Sid::TransportInterface::OK);
  EXPECT_EQ(conn.buffered_output(), 192u);
  EXPECT_EQ(peer.read_available(100), "");
  ASSERT_EQ(conn.bl_write_bytes(nullptr, 1, "b"), Sid::TransportInterface::OK);
  EXPECT_EQ(conn.buffered_output(), 0u);
  EXPECT_EQ(peer.read(193), a + "b");
  ASSERT_EQ(conn.bl_write_bytes(nullptr, 3, "xyz"), Sid::TransportInterface::OK);
  EXPECT_EQ(conn.end_encoding(nullptr, true), Sid::TransportInterface::OK);
  EXPECT_EQ(peer.read(3), "xyz");
}

TEST(ClientTransport, ReadsAndSkipsAcrossTlsRecords) {
  TlsPair p;
  std::string body;
  for (int i = 0; i < 5000; ++i) body += static_cast<char>('A' + i % 26);
  std::thread script([&] {
    p.join();
    p.peer.read(8);
    p.peer.write("OK");
    p.peer.write(body.substr(0, 1000));
    p.peer.write(body.substr(1000));
  });
  ASSERT_EQ(Sid::handshake(*p.conn, "", "OK"), Sid::TransportInterface::OK);
  std::string got(1500, '\0');
  ASSERT_EQ(p.conn->bl_read_bytes(nullptr, 1500, got.data()), Sid::TransportInterface::OK);
  EXPECT_EQ(got, body.substr(0, 1500));
  ASSERT_EQ(p.conn->bl_read_bytes(nullptr, 3000, nullptr), Sid::TransportInterface::OK);
  std::string tail(500, '\0');
  ASSERT_EQ(p.conn->bl_read_bytes(nullptr, 500, tail.data()), Sid::TransportInterface::OK);
  EXPECT_EQ(tail, body.substr(4500));
  script.join();
}

TEST(ClientTransport, PeerDeathFailsReadAndDisconnectsOnce) {
  TlsPair p;
  std::thread script([&] {
    p.join();
    p.peer.read(8);
    p.peer.write("OK");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    p.peer.close();
  });
  ASSERT_EQ(Sid::handshake(*p.conn, "", "OK"), Sid::TransportInterface::OK);
  char b[4];
  EXPECT_EQ(p.conn->bl_read_bytes(nullptr, 4, b), Sid::TransportInterface::ERR_READ);
  script.join();
  EXPECT_FALSE(p.conn->is_connected());
  EXPECT_EQ(p.conn->bl_read_bytes(nullptr, 1, b), Sid::TransportInterface::ERR_READ);
  p.conn->bl_start_encoding(nullptr);
  p.conn->bl_write_bytes(nullptr, 1, "x");
  EXPECT_NE(p.conn->end_encoding(nullptr, true), Sid::TransportInterface::OK);
  p.conn->terminate();
  EXPECT_EQ(p.listener.disconnected, 1);
}

TEST(ClientTransport, TransportLogHoldsRawBytesOfBothDirections) {
  char dir[] = "/tmp/velmora-tlogXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string base = std::string(dir) + "/streamlog.txt";
  {
    TlsPair p(base.c_str());
    std::thread script([&] {
      p.join();
      p.peer.read(8);
      p.peer.write("OKZE\x01\x02z");
    });
    ASSERT_EQ(Sid::handshake(*p.conn, "", "OK"), Sid::TransportInterface::OK);
    char b[5];
    ASSERT_EQ(p.conn->bl_read_bytes(nullptr, 5, b), Sid::TransportInterface::OK);
    script.join();
  }
  EXPECT_EQ(slurp(base + "_log_out.1"), "00000000");
  EXPECT_EQ(slurp(base + "_log_in.1"), "OKZE\x01\x02z");
  for (const char* s : {"_log_in.1", "_log_out.1"}) std::remove((base + s).c_str());
  rmdir(dir);
}

// The gateway names every account's log alike: sessions live at once share
// the files, and neither truncates nor overwrites the other's bytes.
TEST(ClientTransport, LogsOfOneNameLiveAtOnceKeepEveryChunk) {
  char dir[] = "/tmp/velmora-tlogXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string base = std::string(dir) + "/streamlog.txt";
  {
    Sid::TransportLog first(base.c_str());
    first.write("00000000", 8);
    first.read("OK", 2);
    {
      Sid::TransportLog second(base.c_str());
      second.write("11111111", 8);
      first.write("ZR", 2);
      second.read("ok", 2);
    }
    first.read("Zr", 2);
  }
  EXPECT_EQ(slurp(base + "_log_out.1"), "0000000011111111ZR");
  EXPECT_EQ(slurp(base + "_log_in.1"), "OKokZr");
  // A log made once the others are gone starts the files afresh.
  {
    Sid::TransportLog again(base.c_str());
    again.write("2", 1);
  }
  EXPECT_EQ(slurp(base + "_log_out.1"), "2");
  EXPECT_EQ(slurp(base + "_log_in.1"), "");
  for (const char* s : {"_log_in.1", "_log_out.1"}) std::remove((base + s).c_str());
  rmdir(dir);
}

// A long-running session keeps at most two files of each direction: a file
// that reaches the limit hands over to the other of its pair, which starts
// afresh; with two logs of one name, the second to move on appends to the
// file the first has begun, so neither loses the other's newest bytes.
TEST(ClientTransport, FullLogFileHandsOverToTheOtherOfItsPair) {
  char dir[] = "/tmp/velmora-tlogXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string base = std::string(dir) + "/streamlog.txt";
  const std::string one = base + "_log_out.1", two = base + "_log_out.2";
  {
    Sid::TransportLog log(base.c_str(), 10);
    log.write("aaaaaa", 6);
    log.write("bbbbbb", 6);   // .1 reaches 12 >= 10: the next chunk goes to .2
    log.write("cccccc", 6);
    log.write("dddddd", 6);   // .2 full: back to .1, emptied
    log.write("ee", 2);
    EXPECT_EQ(slurp(one), "ee");
    EXPECT_EQ(slurp(two), "ccccccdddddd");
  }
  {
    Sid::TransportLog first(base.c_str(), 10);
    Sid::TransportLog second(base.c_str(), 10);
    first.write("1111111111", 10);   // .1 full: first moves to .2 and empties it
    second.write("22", 2);           // second finds .1 full and follows to .2
    first.write("33", 2);
    second.write("44", 2);
    EXPECT_EQ(slurp(one), "111111111122");
    EXPECT_EQ(slurp(two), "3344");
  }
  for (const char* s : {"_log_in.1", "_log_in.2", "_log_out.1", "_log_out.2"}) std::remove((base + s).c_str());
  rmdir(dir);
}

TEST(ClientTransport, UnwritableLogDirectoryLeavesConnectionWorking) {
  testing::internal::CaptureStderr();
  TlsPair p("/nonexistent-dir/streamlog.txt");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERR: Can't write transport log /nonexistent-dir/streamlog.txt"), std::string::npos);
  std::thread script([&] {
    p.join();
    p.peer.read(8);
    p.peer.write("OK");
  });
  EXPECT_EQ(Sid::handshake(*p.conn, "", "OK"), Sid::TransportInterface::OK);
  script.join();
}

} // namespace
