// The client session against a scripted runtime on loopback TLS: calls and
// replies, the reading turn when every processor is busy, concurrent callers,
// property requests in order, and the loss of the runtime.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <malloc.h>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "ClientRuntime/api/generated/SkypeApi.h"
#include "tests/unit/clientruntime/ScriptedRuntime.h"

using testpeer::Bytes;
using testpeer::Runtime;

namespace {

// A latch that a callback can block on.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void release() {
    std::lock_guard<std::mutex> l(m);
    open = true;
    cv.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [this] { return open; });
  }
};

class TestSkype : public Skype {
public:
  explicit TestSkype(int max) : Skype(max) {}
  ~TestSkype() override { stop(); }

  std::atomic<int> disconnected{0};
  std::atomic<int> list_changes{0};
  std::atomic<unsigned> last_convo{0};
  Gate* block_first = nullptr;   // the first list change waits on it
  std::atomic<bool> first_entered{false};

  void Disconnected() override { ++disconnected; }
  void OnConversationListChange(const ConversationRef& c, const Conversation::LIST_TYPE&, const bool&) override {
    int n = ++list_changes;
    last_convo = c.get_oid();
    if (n == 1 && block_first) {
      first_entered = true;
      block_first->wait();
    }
  }
};

template <class F>
bool eventually(F f, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (f()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return f();
}

std::string start_call(unsigned rid) { return testpeer::call(0, 145, rid, "z"); }
std::string conv_by_identity(unsigned rid, const std::string& who) {
  return testpeer::call(0, 15, rid, Bytes().c('S').u(1).str(who).c('z'));
}
std::string ref_result(unsigned oid) { return Bytes().c('O').u(1).u(oid).c('z'); }

TEST(ClientSession, StartConfirmedAndRefused) {
  struct Case {
    const char* answer;
    bool started;
  } cases[] = {{"T\x01z", true}, {"z", false}};
  for (const auto& c : cases) {
    Runtime rt;
    TestSkype skype(4);
    ASSERT_TRUE(rt.connect(skype));
    auto f = std::async(std::launch::async, [&] { return skype.start(); });
    ASSERT_TRUE(rt.expect(start_call(0)));
    rt.send(testpeer::reply(0, c.answer));
    EXPECT_EQ(f.get(), c.started) << c.answer;
    EXPECT_EQ(skype.is_stopped(), !c.started);
    if (!c.started) {
      bool again = true;
      EXPECT_FALSE(skype.Start(again));   // a stopped session makes no calls
    }
  }
}

TEST(ClientSession, ErrorResponseFailsCallAndKeepsOutput) {
  Runtime rt;
  TestSkype skype(4);
  ASSERT_TRUE(rt.connect(skype));
  ConversationRef out(77, &skype);
  auto f = std::async(std::launch::async, [&] { return skype.GetConversationByIdentity("echo123", out); });
  ASSERT_TRUE(rt.expect(conv_by_identity(0, "echo123")));
  rt.send(testpeer::reply(0, "Nz"));
  EXPECT_FALSE(f.get());
  EXPECT_EQ(out.get_oid(), 77u);
  // The session goes on: the next call is answered.
  auto g = std::async(std::launch::async, [&] { return skype.GetConversationByIdentity("echo123", out); });
  ASSERT_TRUE(rt.expect(conv_by_identity(1, "echo123")));
  rt.send(testpeer::reply(1, ref_result(9)));
  EXPECT_TRUE(g.get());
  EXPECT_EQ(out.get_oid(), 9u);
}

TEST(ClientSession, ReplyBeforeTheCallerWaitsIsMatched) {
  Runtime rt;
  TestSkype skype(4);
  ASSERT_TRUE(rt.connect(skype));
  Sid::CommandInitiator* me = skype.get_current_thread();
  unsigned rid = 99;
  static const char header[] = {'Z', 'R', 0, '\x91', '\x01'};
  {
    std::lock_guard<std::recursive_mutex> lock(skype.get_command_lock());
    ASSERT_EQ(skype.get_protocol()->wr_call(me, header, sizeof header, rid), Sid::Protocol::OK);
  }
  ASSERT_TRUE(rt.expect(start_call(rid)));
  rt.send(testpeer::reply(rid, "T\x01z"));
  ASSERT_TRUE(eventually([&] { return skype.queued_replies() == 1; }));
  // The reply is already there: waiting returns at once and the caller decodes it.
  auto waited = std::async(std::launch::async, [&] { return skype.wait_response(me, rid); });
  ASSERT_EQ(waited.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  ASSERT_TRUE(waited.get());
  EXPECT_EQ(skype.queued_replies(), 0u);
  EXPECT_TRUE(skype.read_results(me, 0, nullptr));
  // and the session reads on
  bool started = false;
  auto f = std::async(std::launch::async, [&] { return skype.Start(started); });
  ASSERT_TRUE(rt.expect(start_call(rid + 1)));
  rt.send(testpeer::reply(rid + 1, "T\x01z"));
  EXPECT_TRUE(f.get());
  EXPECT_TRUE(started);
}

TEST(ClientSession, TwoApplicationThreadsGetTheirOwnReplies) {
  Runtime rt;
  TestSkype skype(4);
  ASSERT_TRUE(rt.connect(skype));
  ConversationRef a, b;
  std::promise<bool> ra, rb;
  std::thread ta([&] { ra.set_value(skype.GetConversationByIdentity("alice", a)); });
  std::thread tb([&] { rb.set_value(skype.GetConversationByIdentity("bobby", b)); });
  // Both calls are on the wire before either is answered; answer in reverse order.
  std::string first = rt.peer.read(conv_by_identity(0, "alice").size());
  std::string second = rt.peer.read(conv_by_identity(1, "bobby").size());
  ASSERT_EQ(first.size(), second.size());
  // byte 4 is the request id
  unsigned alice_rid = first.find("alice") != std::string::npos ? unsigned(first[4]) : unsigned(second[4]);
  EXPECT_EQ(first[4] + second[4], 1);
  rt.send(testpeer::reply(1 - alice_rid, ref_result(200)));   // bob's
  rt.send(testpeer::reply(alice_rid, ref_result(100)));       // alice's
  ta.join();
  tb.join();
  EXPECT_TRUE(ra.get_future().get());
  EXPECT_TRUE(rb.get_future().get());
  EXPECT_EQ(a.get_oid(), 100u);
  EXPECT_EQ(b.get_oid(), 200u);
}

TEST(ClientSession, CallerReadsTheWireWhenEveryProcessorIsBusy) {
  Runtime rt;
  TestSkype skype(1);
  Gate gate;
  skype.block_first = &gate;
  ASSERT_TRUE(rt.connect(skype));
  skype.set_logging_out(0);
  auto list_change = [](unsigned oid) {
    return testpeer::event(0, 4, Bytes().c('O').u(1).u(oid).c('e').u(2).u(3).c('T').u(3).c('z'));
  };
  // The only processor runs the first callback and blocks in it.
  rt.send(list_change(11));
  ASSERT_TRUE(eventually([&] { return skype.first_entered.load(); }));
  ConversationRef out;
  auto f = std::async(std::launch::async, [&] { return skype.GetConversationByIdentity("x", out); });
  ASSERT_TRUE(rt.expect(conv_by_identity(0, "x")));
  // An event comes before the reply: the caller stores it and gets its reply.
  rt.send(list_change(12) + testpeer::reply(0, ref_result(33)));
  ASSERT_EQ(f.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(f.get());
  EXPECT_EQ(out.get_oid(), 33u);
  EXPECT_EQ(skype.list_changes, 1);
  // Once the callback returns, the stored event is delivered.
  gate.release();
  ASSERT_TRUE(eventually([&] { return skype.list_changes == 2; }));
  EXPECT_EQ(skype.last_convo, 12u);
}

TEST(ClientSession, TwoPropertyRequestsAreAnsweredInOrder) {
  Runtime rt;
  TestSkype skype(4);
  ASSERT_TRUE(rt.connect(skype));
  ConversationRef c1(1, &skype), c2(2, &skype);
  ASSERT_TRUE(c1.fetch() && c2.fetch());
  std::promise<SEString> n1, n2;
  std::thread t1([&] {
    SEString v;
    c1->GetPropDisplayname(v);
    n1.set_value(v);
  });
  std::string req1 = rt.peer.read(testpeer::get(18, 1, 924).size());
  std::thread t2([&] {
    SEString v;
    c2->GetPropDisplayname(v);
    n2.set_value(v);
  });
  std::string req2 = rt.peer.read(testpeer::get(18, 2, 924).size());
  EXPECT_EQ(req1, testpeer::get(18, 1, 924));
  EXPECT_EQ(req2, testpeer::get(18, 2, 924));
  rt.send(testpeer::props('g', {{18, 1, 'S', 924, Bytes().str("one")}}));
  rt.send(testpeer::props('g', {{18, 2, 'S', 924, Bytes().str("two")}}));
  t1.join();
  t2.join();
  EXPECT_STREQ(n1.get_future().get().data(), "one");
  EXPECT_STREQ(n2.get_future().get().data(), "two");
}

TEST(ClientSession, RuntimeDeathFailsEveryBlockedCallAndDisconnectsOnce) {
  Runtime rt;
  auto skype = std::make_unique<TestSkype>(4);
  ASSERT_TRUE(rt.connect(*skype));
  ConversationRef a, b;
  auto fa = std::async(std::launch::async, [&] { return skype->GetConversationByIdentity("a", a); });
  auto fb = std::async(std::launch::async, [&] { return skype->GetConversationByIdentity("b", b); });
  rt.peer.read(2 * conv_by_identity(0, "a").size());
  rt.peer.close();
  EXPECT_FALSE(fa.get());
  EXPECT_FALSE(fb.get());
  EXPECT_FALSE(skype->GetConversationByIdentity("c", a));
  skype->stop();
  EXPECT_EQ(skype->disconnected, 1);
  EXPECT_EQ(skype->thread_count(), 0);
}

TEST(ClientSession, HugeAnnouncedLengthDoesNotAllocateWhatItPromises) {
  Runtime rt;
  TestSkype skype(4);
  ASSERT_TRUE(rt.connect(skype));
  ConversationRef out;
  auto f = std::async(std::launch::async, [&] { return skype.GetConversationByIdentity("big", out); });
  ASSERT_TRUE(rt.expect(conv_by_identity(0, "big")));
  // A reply whose string claims 2 GB and brings 100 bytes, then silence.
  rt.send(Bytes().s("Zr").u(0).c('S').u(7).u(0x7FFFFFF0u).s(std::string(100, 'x')));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  struct mallinfo2 mi = mallinfo2();
  EXPECT_LT(mi.hblkhd, size_t(256) << 20);   // nothing near the promised size is mapped
  rt.peer.close();
  EXPECT_FALSE(f.get());
}

// A callback of one account's session (on its processor thread) calls into
// another account's session: the reply comes back through the other session,
// and each session keeps exactly one reader of its own wire.
class CrossCaller : public TestSkype {
public:
  explicit CrossCaller(int max) : TestSkype(max) {}
  ~CrossCaller() override { stop(); }
  Skype* other = nullptr;
  std::atomic<unsigned> got{0};
  std::atomic<bool> ok{false};
  void OnConversationListChange(const ConversationRef& c, const Conversation::LIST_TYPE& t, const bool& b) override {
    TestSkype::OnConversationListChange(c, t, b);
    if (c.get_oid() != 1 || !other) return;
    ConversationRef out;
    ok = other->GetConversationByIdentity("x", out);
    got = out.get_oid();
  }
};

TEST(ClientSession, CallbackCallsIntoAnotherSession) {
  Runtime rta, rtb;
  CrossCaller a(1);
  TestSkype b(1);
  a.other = &b;
  ASSERT_TRUE(rta.connect(a));
  ASSERT_TRUE(rtb.connect(b));
  a.set_logging_out(0);
  b.set_logging_out(0);
  auto list_change = [](unsigned oid) { return testpeer::event(0, 4, Bytes().c('O').u(1).u(oid).c('z')); };
  rta.send(list_change(1));
  ASSERT_TRUE(rtb.expect(conv_by_identity(0, "x")));
  rtb.send(testpeer::reply(0, ref_result(44)) + list_change(2));
  ASSERT_TRUE(eventually([&] { return a.got.load() == 44u; }));
  EXPECT_TRUE(a.ok);
  // both sessions go on reading their own wires
  ASSERT_TRUE(eventually([&] { return b.list_changes == 1; }));
  rta.send(list_change(3));
  ASSERT_TRUE(eventually([&] { return a.list_changes == 2; }));
  EXPECT_EQ(a.last_convo, 3u);
  EXPECT_EQ(b.last_convo, 2u);
}

// Several application threads call at once while the runtime sends events
// between the replies and answers out of order; with few processors the
// callers take turns reading the wire. Every caller gets its own answer and
// every event arrives.
TEST(ClientSession, ManyCallersAndEventsInterleaved) {
  constexpr int kThreads = 4, kCalls = 40;
  Runtime rt;
  TestSkype skype(2);
  ASSERT_TRUE(rt.connect(skype));
  skype.set_logging_out(0);
  std::thread runtime([&] {
    std::string pending;
    for (int n = 0; n < kThreads * kCalls;) {
      // "ZR" 00 0F rid 'S' 01 len name 'z'
      std::string head = rt.peer.read(4, pending.empty() ? 5000 : 50);
      if (head.empty() && !pending.empty()) {
        rt.send(pending);   // no other call is coming: let the held one go
        pending.clear();
        continue;
      }
      if (head.size() < 4) head += rt.peer.read(4 - head.size());
      if (head.size() < 4) return;
      unsigned rid = 0, shift = 0;
      for (;;) {
        unsigned char b = static_cast<unsigned char>(rt.peer.read(1)[0]);
        rid |= (b & 0x7Fu) << shift;
        shift += 7;
        if (!(b & 0x80)) break;
      }
      std::string tl = rt.peer.read(3);
      std::string name = rt.peer.read(static_cast<unsigned char>(tl[2]));
      rt.peer.read(1);
      unsigned oid = static_cast<unsigned>(std::stoul(name.substr(1))) + 1;
      std::string answer = testpeer::event(0, 4, Bytes().c('O').u(1).u(oid).c('z')) +
                           testpeer::reply(rid, ref_result(oid));
      // hold every other answer back so that replies come out of order
      if (n++ % 2 == 0) {
        pending = answer;
      } else {
        rt.send(answer + pending);
        pending.clear();
      }
    }
    if (!pending.empty()) rt.send(pending);
  });
  std::atomic<int> wrong{0}, failed{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        unsigned id = static_cast<unsigned>(t * 1000 + i);
        ConversationRef out;
        if (!skype.GetConversationByIdentity(("c" + std::to_string(id)).c_str(), out)) ++failed;
        else if (out.get_oid() != id + 1) ++wrong;
      }
    });
  }
  for (auto& c : callers) c.join();
  runtime.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(eventually([&] { return skype.list_changes == kThreads * kCalls; }));
}

} // namespace
