// The simulator's API session without TLS: request bytes in through
// ApiReader (the protocol's BinServer over an in-memory stream), the model's
// dispatch, and the exact bytes it answers with (ApiWriter).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Simulator/ApiReader.h"
#include "Simulator/EventLog.h"
#include "Simulator/Links.h"
#include "Simulator/Model.h"
#include "Simulator/StreamTransport.h"

using namespace velsim;

namespace {

std::string b(std::initializer_list<int> bytes) {
  std::string s;
  for (int c : bytes) s.push_back(static_cast<char>(c));
  return s;
}

class Capture : public Outbound {
public:
  void send(std::string bytes, std::string) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out += bytes;
  }
  void drop() override {}
  std::string take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string s;
    s.swap(m_out);
    return s;
  }

private:
  std::mutex m_mutex;
  std::string m_out;
};

Settings quick() {
  Settings s;
  s.login_delay_ms = 0;
  s.party.answer = Answer::Manual;
  s.party.ring_delay_ms = 60000;  // nothing happens on its own during a case
  return s;
}

class SimApi : public ::testing::Test {
protected:
  SimApi() : model("alice", quick(), log, voice) {
    model.session_started(&out);
    // Start, GetAccount("alice"), LoginWithPassword(#1, "pw").
    feed(b({'Z', 'R', 0, 0x91, 1, 0, 'z'}) + "ZR" + b({0, 0x73, 1}) + "S\x01\x05" "alicez" + "ZR" +
         b({5, 6, 2, 'O', 0, 1}) + "S\x01\x02" "pwz");
    for (int n = 0; n < 500 && model.status_text().find("login=LOGGED_IN") == std::string::npos; ++n)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    out.take();
  }
  ~SimApi() override { model.session_ended(); }

  std::string feed(const std::string& in) {
    BytesTransport t(in);
    ApiReader reader(t, model, log, stalled);
    reader.run();
    return out.take();
  }

  EventLog log;
  NoVoice voice;
  Capture out;
  std::atomic<bool> stalled{false};
  Model model;
};

const std::string kStart9 = b({'Z', 'R', 0, 0x91, 1, 9, 'z'});
const std::string kStarted9 = b({'Z', 'r', 9, 'T', 1, 'z'});

TEST_F(SimApi, CallsGetTheirResultsOrTheErrorFormAndBadInputIsSkipped) {
  ASSERT_NE(model.status_text().find("login=LOGGED_IN"), std::string::npos);
  struct Case {
    const char* name;
    std::string in, want;
  } cases[] = {
      {"Start", kStart9, kStarted9},
      {"GetAccount of the served account", "ZR" + b({0, 0x73, 3}) + "S\x01\x05" "ALICEz", b({'Z', 'r', 3, 'O', 1, 1, 'z'})},
      {"GetAccount of another", "ZR" + b({0, 0x73, 4}) + "S\x01\x03" "bobz", b({'Z', 'r', 4, 'N', 'z'})},
      {"unknown method", b({'Z', 'R', 0, 99, 5, 'z'}), b({'Z', 'r', 5, 'N', 'z'})},
      {"unknown module", b({'Z', 'R', 77, 1, 6, 'i', 1, 2, 'z'}), b({'Z', 'r', 6, 'N', 'z'})},
      {"wrong object", b({'Z', 'R', 18, 10, 7, 'O', 0, 0x92, 0x21, 'z'}), b({'Z', 'r', 7, 'N', 'z'})},
      {"login on a wrong object", b({'Z', 'R', 5, 6, 8, 'O', 0, 2, 'z'}), b({'Z', 'r', 8, 'N', 'z'})},
      {"tags out of order, then a good call", "ZR" + b({0, 15, 10}) + "S\x02\x01xS\x01\x01yz" + kStart9,
       b({'Z', 'r', 10, 'N', 'z'}) + kStarted9},
      {"a field of the wrong kind", b({'Z', 'R', 0, 0x73, 11, 'u', 1, 5, 'z'}), b({'Z', 'r', 11, 'N', 'z'})},
      {"the error marker in parameters", b({'Z', 'R', 0, 0x91, 1, 12, 'N', 'z'}), b({'Z', 'r', 12, 'N', 'z'})},
      {"garbage, an unknown command, an overlong varint", "\x01\x02garbageZQ" + b({'Z', 'R', 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}) + kStart9,
       kStarted9},
      {"a call cut short", b({'Z', 'R', 0, 0x73, 13, 'S', 1, 9, 'a'}), ""},
      {"properties, one not modelled",
       b({'Z', 'G', 4, ',', 70, ',', 7, ']', 5, 1, ']', ']', 'z'}),
       b({'Z', 'g', 5, 1, 'S', 4, 5}) + "alice]]," + b({5, 1, 'e', 70, 7, ']', ']', ',', 5, 1, 'N', 7, ']', ']', ']', 'z'})},
      {"properties of two groups and a missing object (927 is 9F 07)",
       b({'Z', 'G', 70, ']', 5, 1, ',', 9, ']', ',', 0x9F, 0x07, ']', 18, 1, ']', ']', 'z'}),
       b({'Z', 'g', 5, 1, 'e', 70, 7, ']', ']', ',', 5, 9, 'N', 70, ']', ']', ',', 18, 1, 'N', 0x9F, 0x07, ']', ']',
          ']', 'z'})},
      {"an undecodable property request", b({'Z', 'G', 4, 'x'}) + kStart9,
       b({'Z', 'g', 0, 0, 'N', 0, ']', ']', ']', 'z'}) + kStarted9},
  };
  for (const auto& c : cases) EXPECT_EQ(feed(c.in), c.want) << c.name;
}

TEST_F(SimApi, AnOutgoingCallAnswersWithReferencesListsAndEvents) {
  // GetConversationByIdentity("bob") -> the new conversation #2.
  ASSERT_EQ(feed("ZR" + b({0, 15, 20}) + "S\x01\x03" "bobz"), b({'Z', 'r', 20, 'O', 1, 2, 'z'}));
  // GetParticipants(#2, OTHER_CONSUMERS) -> [#4] (the account's own is #3).
  ASSERT_EQ(feed(b({'Z', 'R', 18, 38, 21, 'O', 0, 2, 'e', 1, 5, 'z'})),
            b({'Z', 'r', 21, '[', 1, 'O', 4, ']', 'z'}));
  // GetConversationList(ALL) lists it; an empty list is not written.
  EXPECT_EQ(feed(b({'Z', 'R', 0, 18, 22, 'z'})), b({'Z', 'r', 22, '[', 1, 'O', 2, ']', 'z'}));
  EXPECT_EQ(feed(b({'Z', 'R', 0, 18, 23, 'e', 1, 3, 'z'})), b({'Z', 'r', 23, 'z'}));
  // Ring(#4): the reply, then (after both DEBUGINFO changes) LOCAL_LIVESTATUS
  // STARTING, the list change (added) and the participant connecting.
  std::string ring = feed(b({'Z', 'R', 19, 3, 24, 'O', 0, 4, 'z'}));
  EXPECT_EQ(ring.substr(0, 4), b({'Z', 'r', 24, 'z'}));
  size_t at = 0;
  for (const std::string& next : {b({'Z', 'C', 19, 3, 'S', 0xAE, 0x07}), b({'Z', 'C', 19, 4, 'S', 0xAE, 0x07}),
                                  b({'Z', 'C', 18, 2, 'e', 0x9F, 0x07, 1, ']', ']', ']', 'z'}),
                                  b({'Z', 'E', 0, 4, 'O', 1, 2, 'e', 2, 3, 'T', 3, 'z'}),
                                  b({'Z', 'C', 19, 4, 'e', 0xA7, 0x07, 3, ']', ']', ']', 'z'})}) {
    size_t found = ring.find(next, at);
    ASSERT_NE(found, std::string::npos) << "in order after byte " << at;
    at = found + next.size();
  }
  EXPECT_EQ(at, ring.size());
  // SendDTMF(#2, 5) with the default length, then PostText: its reply and OnMessage.
  EXPECT_EQ(feed(b({'Z', 'R', 18, 16, 25, 'O', 0, 2, 'e', 1, 5, 'z'})), b({'Z', 'r', 25, 'z'}));
  EXPECT_NE(model.call_text(0).find("gateway_dtmf=5"), std::string::npos) << model.call_text(0);
  std::string post = feed(b({'Z', 'R', 18, 19, 26, 'O', 0, 2}) + "S\x01\x02hiz");
  EXPECT_EQ(post, b({'Z', 'r', 26, 'O', 1, 5, 'z'}) + b({'Z', 'E', 0, 5, 'O', 1, 5, 'O', 4, 2, 'z'}));
  // A bad digit is refused.
  EXPECT_EQ(feed(b({'Z', 'R', 18, 16, 27, 'O', 0, 2, 'e', 1, 12, 'z'})), b({'Z', 'r', 27, 'N', 'z'}));
}

TEST_F(SimApi, AStalledRuntimeReadsButAnswersNothing) {
  stalled = true;
  EXPECT_EQ(feed(kStart9 + b({'Z', 'G', 70, ']', 5, 1, ']', ']', 'z'}) + b({'Z', 'R', 0, 0x91, 1, 12, 'N', 'z'})), "");
  stalled = false;
  EXPECT_EQ(feed(kStart9), kStarted9);
}

}  // namespace
