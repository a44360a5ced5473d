// The voice interface's sockets and buffered transport, on real abstract
// Unix-domain sockets.

#include <errno.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <numeric>

#include "VoiceHost/transport/SocketTransport.h"
#include "VoiceHost/transport/UnixSocket.h"
#include "tests/unit/voicehost/SocketTestUtil.h"

using namespace std::chrono;
using namespace vhtest;

namespace {

std::vector<unsigned char> pattern(size_t n, unsigned seed) {
  std::vector<unsigned char> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>((i * 131 + seed) & 0xff);
  return v;
}

// A server-mode transport connected to a raw peer socket.
struct ServedTransport {
  Sid::SocketTransport transport;
  int peer = -1;
  explicit ServedTransport(const std::string& key) {
    auto connected = std::async(std::launch::async, [&] { return transport.Connect(key.c_str(), true, 5000); });
    peer = peer_connect(key);
    EXPECT_TRUE(connected.get());
    EXPECT_GE(peer, 0);
  }
  ~ServedTransport() {
    if (peer >= 0) close(peer);
  }
};

}  // namespace

// Keys up to 106 characters name a socket; a longer one is refused before any socket exists.
TEST(UnixSocket, KeyLengthLimit) {
  struct Case {
    size_t len;
    bool accepted;
  } cases[] = {{106, true}, {107, false}, {200, false}};
  for (const Case& c : cases) {
    std::string key = unique_key("len", c.len);
    ASSERT_EQ(key.size(), c.len);
    Sid::UnixSocket server;
    testing::internal::CaptureStdout();
    auto connected = std::async(std::launch::async, [&] { return server.Connect(key.c_str(), true, 2000); });
    int peer = c.accepted ? peer_connect(key) : -1;
    bool ok = connected.get();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, c.accepted) << c.len;
    EXPECT_EQ(server.IsConnected(), c.accepted) << c.len;
    if (c.accepted) {
      EXPECT_GE(peer, 0);
      close(peer);
    } else {
      EXPECT_NE(out.find("Cannot make socket address"), std::string::npos) << out;
    }
    // Client mode applies the same limit.
    Sid::UnixSocket client;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(client.Connect(std::string(c.len + 1, 'x').c_str(), false, 100));
    testing::internal::GetCapturedStdout();
  }
}

// The name is the whole 107-byte area after the leading zero: a peer using
// the full structure size meets us, one that uses the short form does not.
TEST(UnixSocket, AbstractNameSpansTheWholePathArea) {
  std::string key = unique_key("name");
  sockaddr_un ours{};
  ASSERT_TRUE(Sid::MakeSocketAddress(key.c_str(), ours));
  sockaddr_un theirs = peer_address(key);
  EXPECT_EQ(0, memcmp(&ours, &theirs, sizeof ours));
  EXPECT_EQ(ours.sun_path[0], '\0');

  Sid::UnixSocket server;
  testing::internal::CaptureStdout();
  auto connected = std::async(std::launch::async, [&] { return server.Connect(key.c_str(), true, 3000); });
  // Wait until the server listens (a full-size connect then succeeds), but try the short form first.
  int full = -1;
  bool short_refused = true;
  for (int i = 0; i < 200 && full < 0; ++i) {
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    socklen_t short_len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + key.size());
    if (connect(s, reinterpret_cast<sockaddr*>(&theirs), short_len) == 0) short_refused = false;
    close(s);
    s = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(s, reinterpret_cast<sockaddr*>(&theirs), sizeof theirs) == 0) {
      full = s;
    } else {
      close(s);
      std::this_thread::sleep_for(milliseconds(10));
    }
  }
  EXPECT_TRUE(connected.get());
  testing::internal::GetCapturedStdout();
  EXPECT_GE(full, 0);
  EXPECT_TRUE(short_refused);
  if (full >= 0) close(full);
}

// Exactly one peer per connect: the listening socket is gone once one was accepted.
TEST(UnixSocket, ServerServesOnePeer) {
  std::string key = unique_key("one");
  Sid::UnixSocket server;
  testing::internal::CaptureStdout();
  auto connected = std::async(std::launch::async, [&] { return server.Connect(key.c_str(), true, 3000); });
  int first = peer_connect(key);
  ASSERT_TRUE(connected.get());
  sockaddr_un a = peer_address(key);
  int second = socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_NE(connect(second, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(errno, ECONNREFUSED);
  close(second);
  // A second Connect of a connected socket is refused.
  EXPECT_FALSE(server.Connect(key.c_str(), true, 10));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("already connected"), std::string::npos);
  EXPECT_NE(out.find("ServerConnect: OK"), std::string::npos);
  close(first);
}

TEST(UnixSocket, ServerConnectTimesOutWithoutPeer) {
  std::string key = unique_key("timeout");
  Sid::UnixSocket server;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(server.Connect(key.c_str(), true, 50));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("poll timeout, m_Key: " + key), std::string::npos) << out;
  EXPECT_NE(out.find("ServerConnect: FAILED"), std::string::npos);
  EXPECT_FALSE(server.IsConnected());
}

// Five attempts 100 ms apart, then the client gives up.
TEST(UnixSocket, ClientGivesUpAfterItsTimeout) {
  std::string key = unique_key("nobody");
  Sid::UnixSocket client;
  testing::internal::CaptureStdout();
  auto t0 = steady_clock::now();
  EXPECT_FALSE(client.Connect(key.c_str(), false, 500));
  auto took = duration_cast<milliseconds>(steady_clock::now() - t0).count();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(count_of(out, "ClientConnect: connect\n"), 5u) << out;
  EXPECT_NE(out.find("client connect failed"), std::string::npos);
  EXPECT_GE(took, 450);
  EXPECT_LT(took, 3000);
  EXPECT_FALSE(client.IsConnected());
}

TEST(UnixSocket, ClientMeetsALateListener) {
  std::string key = unique_key("late");
  Sid::UnixSocket client;
  testing::internal::CaptureStdout();
  auto connected = std::async(std::launch::async, [&] { return client.Connect(key.c_str(), false, 2000); });
  std::this_thread::sleep_for(milliseconds(150));
  int listener = peer_listen(key);
  ASSERT_GE(listener, 0);
  EXPECT_TRUE(connected.get());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("ClientConnect: connect OK"), std::string::npos);
  EXPECT_NE(out.find("client connect suceeded"), std::string::npos);
  close(listener);
}

// A stop request from another thread ends a connect that waits without limit,
// whether it arrives during the wait or just before the connect starts.
TEST(UnixSocket, DisconnectCancelsAConnect) {
  for (bool server_mode : {true, false}) {
    for (bool before : {false, true}) {
      std::string key = unique_key("cancel");
      Sid::UnixSocket sock;
      testing::internal::CaptureStdout();
      if (before) sock.Disconnect();
      auto connected = std::async(std::launch::async, [&] { return sock.Connect(key.c_str(), server_mode, -1); });
      if (!before) {
        std::this_thread::sleep_for(milliseconds(100));
        sock.Disconnect();
      }
      ASSERT_EQ(connected.wait_for(seconds(5)), std::future_status::ready) << server_mode << before;
      EXPECT_FALSE(connected.get());
      testing::internal::GetCapturedStdout();
      EXPECT_FALSE(sock.IsConnected());
      // The name is free again for the next host.
      if (server_mode) {
        Sid::UnixSocket next;
        testing::internal::CaptureStdout();
        auto again = std::async(std::launch::async, [&] { return next.Connect(key.c_str(), true, 3000); });
        int peer = peer_connect(key);
        EXPECT_TRUE(again.get());
        testing::internal::GetCapturedStdout();
        close(peer);
      }
    }
  }
}

// Writes are collected until the message completes; a write that would take
// the buffer beyond 65534 bytes first sends the buffer, then itself, directly.
TEST(SocketTransport, WriteBuffering) {
  testing::internal::CaptureStdout();
  ServedTransport st(unique_key("wr"));
  auto& t = st.transport;
  auto head = pattern(10, 1);
  auto big = pattern(70000, 2);

  ASSERT_TRUE(t.WriteStart());
  ASSERT_TRUE(t.Write(head.data(), head.size()));
  EXPECT_TRUE(read_available(st.peer, 50).empty());
  ASSERT_TRUE(t.WriteComplete());
  EXPECT_EQ(read_exact(st.peer, head.size()), head);

  // 65534 bytes in total still fit the buffer.
  auto fill = pattern(Sid::SocketTransport::kMaxBuffered - head.size(), 3);
  ASSERT_TRUE(t.WriteStart());
  ASSERT_TRUE(t.Write(head.data(), head.size()));
  ASSERT_TRUE(t.Write(fill.data(), fill.size()));
  EXPECT_TRUE(read_available(st.peer, 50).empty());
  ASSERT_TRUE(t.WriteComplete());
  EXPECT_EQ(read_exact(st.peer, Sid::SocketTransport::kMaxBuffered).size(), Sid::SocketTransport::kMaxBuffered);

  // One byte more goes out directly, after the buffered part.
  ASSERT_TRUE(t.WriteStart());
  ASSERT_TRUE(t.Write(head.data(), head.size()));
  std::vector<unsigned char> got;
  std::thread reader([&] { got = read_exact(st.peer, head.size() + big.size()); });
  ASSERT_TRUE(t.Write(big.data(), big.size()));
  reader.join();
  std::vector<unsigned char> want = head;
  want.insert(want.end(), big.begin(), big.end());
  EXPECT_EQ(got, want);
  ASSERT_TRUE(t.WriteComplete());
  EXPECT_TRUE(read_available(st.peer, 50).empty());
  testing::internal::GetCapturedStdout();
}

// Reads are served from the buffer across message boundaries, in any piece
// sizes, and large reads go straight into the caller's buffer.
TEST(SocketTransport, ReadPieces) {
  testing::internal::CaptureStdout();
  ServedTransport st(unique_key("rd"));
  auto& t = st.transport;
  auto data = pattern(300000, 4);
  std::thread writer([&] { write_all(st.peer, data.data(), data.size()); });
  std::vector<unsigned char> got(data.size());
  size_t sizes[] = {1, 2, 65534, 65535, 7, 100000, 3};
  size_t at = 0;
  ASSERT_TRUE(t.ReadStart());
  for (size_t i = 0; at < data.size(); ++i) {
    size_t n = std::min(sizes[i % std::size(sizes)], data.size() - at);
    ASSERT_TRUE(t.Read(got.data() + at, n)) << at;
    at += n;
  }
  ASSERT_TRUE(t.ReadComplete());
  writer.join();
  EXPECT_EQ(got, data);
  testing::internal::GetCapturedStdout();
}

TEST(SocketTransport, PeerCloseFailsTheRead) {
  testing::internal::CaptureStdout();
  ServedTransport st(unique_key("close"));
  unsigned char three[3] = {1, 2, 3};
  ASSERT_TRUE(write_all(st.peer, three, 3));
  close(st.peer);
  st.peer = -1;
  unsigned char buf[8];
  // What was sent before the close is still delivered.
  ASSERT_TRUE(st.transport.Read(buf, 3));
  EXPECT_EQ(0, memcmp(buf, three, 3));
  EXPECT_FALSE(st.transport.Read(buf, 1));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Read error: 0"), std::string::npos) << out;
}

// Writing towards a peer that has gone is traced; the process is not killed by SIGPIPE.
TEST(SocketTransport, WriteToClosedPeerIsTraced) {
  testing::internal::CaptureStdout();
  ServedTransport st(unique_key("epipe"));
  close(st.peer);
  st.peer = -1;
  unsigned char b[16] = {};
  EXPECT_TRUE(st.transport.WriteStart());
  EXPECT_TRUE(st.transport.Write(b, sizeof b));
  EXPECT_TRUE(st.transport.WriteComplete());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("write failed errno: " + std::to_string(EPIPE)), std::string::npos) << out;
}

// A Disconnect from another thread wakes a read blocked for the next message.
TEST(SocketTransport, DisconnectWakesABlockedRead) {
  testing::internal::CaptureStdout();
  ServedTransport st(unique_key("wake"));
  auto blocked = std::async(std::launch::async, [&] {
    unsigned char b;
    return st.transport.Read(&b, 1);
  });
  std::this_thread::sleep_for(milliseconds(50));
  st.transport.Disconnect();
  ASSERT_EQ(blocked.wait_for(seconds(5)), std::future_status::ready);
  EXPECT_FALSE(blocked.get());
  // The peer sees the end of the stream.
  EXPECT_TRUE(read_available(st.peer, 500).empty());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("UnixSocket: closing socket"), std::string::npos);
}
