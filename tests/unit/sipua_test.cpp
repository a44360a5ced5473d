// The SIP user agent's receive path and its own answers, with the transport's
// datagrams captured in a sink instead of a socket; and the digest arithmetic.

#include "Protocol/sipua/DigestAuth.h"
#include "Protocol/sipua/SipUa.h"
#include "Protocol/sipua/Transport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Sent {
  std::string text, host;
  int port;
};

class SipUa : public ::testing::Test {
 protected:
  std::vector<Sent> sent;

  void SetUp() override {
    ASSERT_EQ(eXosip_init(), 0);
    sipua::transport_set_sink([this](const std::string& t, const std::string& h, int p) { sent.push_back({t, h, p}); });
  }
  void TearDown() override { eXosip_quit(); }

  void feed(const std::string& datagram) { sipua::transport_receive(datagram.data(), datagram.size(), "127.0.0.1", 5999); }

  // Status codes of the responses sent since the last call.
  std::vector<int> answers() {
    std::vector<int> codes;
    for (const Sent& s : sent)
      if (s.text.rfind("SIP/2.0 ", 0) == 0) codes.push_back(std::stoi(s.text.substr(8, 3)));
    sent.clear();
    return codes;
  }
};

std::string request(const std::string& method, const std::string& callid, const std::string& totag = "",
                    int cseq = 1, const std::string& body = "") {
  std::string m = method + " sip:gw@127.0.0.1:5060 SIP/2.0\r\n"
                  "Via: SIP/2.0/UDP 127.0.0.1:5999;branch=z9hG4bK" + callid + std::to_string(cseq) + method + "\r\n"
                  "From: <sip:peer@127.0.0.1>;tag=p1\r\n"
                  "To: <sip:gw@127.0.0.1>" + (totag.empty() ? "" : ";tag=" + totag) + "\r\n"
                  "Call-ID: " + callid + "\r\n"
                  "CSeq: " + std::to_string(cseq) + " " + method + "\r\n"
                  "Contact: <sip:peer@127.0.0.1:5999>\r\n"
                  "Max-Forwards: 70\r\n";
  if (!body.empty()) m += "Content-Type: application/sdp\r\n";
  m += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  return m;
}

const std::string kSdp = "v=0\r\no=a 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\n";

TEST(Digest, MatchesTheWorkedExampleOfRfc2617) {
  EXPECT_EQ(sipua::digest_response("MD5", "Mufasa", "testrealm@host.com", "Circle Of Life", "GET", "/dir/index.html",
                                   "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", "auth"),
            "6629fae49393a05397450978507c4ef1");
}

// A request event freed without an answer gets the stack's own answer; a
// request that needs no application gets its answer at once, without event.
TEST_F(SipUa, UnansweredRequestsGetTheStacksAnswer) {
  struct Case {
    std::string datagram;
    int event;               // -1: none expected
    std::vector<int> first;  // answers when it arrives
    std::vector<int> freed;  // answers when its event is freed
  } cases[] = {
      {request("INVITE", "c1", "", 1, kSdp), EXOSIP_CALL_INVITE, {100}, {480}},
      {request("MESSAGE", "c2"), EXOSIP_MESSAGE_NEW, {}, {200}},
      {request("OPTIONS", "c3"), EXOSIP_MESSAGE_NEW, {}, {200}},
      {request("BYE", "c4"), -1, {481}, {}},
      {request("INFO", "c5", "nosuchdialog"), -1, {481}, {}},
      {request("REFER", "c6"), -1, {501}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.datagram.substr(0, c.datagram.find(' ')));
    feed(c.datagram);
    EXPECT_EQ(answers(), c.first);
    eXosip_event_t* e = eXosip_event_wait(0, 0);
    if (c.event < 0) {
      EXPECT_EQ(e, nullptr);
      eXosip_event_free(e);
      continue;
    }
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, c.event);
    eXosip_event_free(e);
    EXPECT_EQ(answers(), c.freed);
  }
}

TEST_F(SipUa, RetransmittedRequestsReachTheApplicationOnce) {
  std::string invite = request("INVITE", "r1", "", 1, kSdp);
  feed(invite);
  feed(invite);
  feed(invite);
  EXPECT_EQ(answers(), (std::vector<int>{100, 100, 100}));  // the transaction repeats its last answer
  eXosip_event_t* e = eXosip_event_wait(0, 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(eXosip_event_wait(0, 0), nullptr);
  ASSERT_EQ(eXosip_call_send_answer(e->tid, 486, nullptr), 0);
  eXosip_event_free(e);  // answered: nothing more
  EXPECT_EQ(answers(), (std::vector<int>{486}));
  feed(invite);
  EXPECT_EQ(answers(), (std::vector<int>{486}));
}

// A re-INVITE nobody handles is answered with the SDP last sent, so the call stays up.
TEST_F(SipUa, UnhandledReinviteKeepsTheSession) {
  feed(request("INVITE", "d1", "", 1, kSdp));
  eXosip_event_t* e = eXosip_event_wait(0, 0);
  ASSERT_NE(e, nullptr);
  osip_message_t* ok = nullptr;
  ASSERT_EQ(eXosip_call_build_answer(e->tid, 200, &ok), 0);
  const std::string mine = "v=0\r\no=gw 7 7 IN IP4 127.0.0.1\r\ns=gw\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 10002 RTP/AVP 8\r\n";
  osip_message_set_body(ok, mine.c_str(), mine.size());
  osip_message_set_content_type(ok, "application/sdp");
  ASSERT_EQ(eXosip_call_send_answer(e->tid, 200, ok), 0);
  eXosip_event_free(e);
  std::string sent200;
  for (const Sent& s : sent)
    if (s.text.rfind("SIP/2.0 200", 0) == 0) sent200 = s.text;
  sent.clear();
  size_t tagpos = sent200.find(";tag=", sent200.find("\r\nTo:"));
  ASSERT_NE(tagpos, std::string::npos);
  std::string tag = sent200.substr(tagpos + 5, sent200.find("\r\n", tagpos) - tagpos - 5);
  feed(request("ACK", "d1", tag, 1));
  e = eXosip_event_wait(0, 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->type, EXOSIP_CALL_ACK);
  eXosip_event_free(e);
  feed(request("INVITE", "d1", tag, 2, kSdp));
  e = eXosip_event_wait(0, 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->type, EXOSIP_CALL_REINVITE);
  sent.clear();
  eXosip_event_free(e);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].text.rfind("SIP/2.0 200", 0), 0u);
  EXPECT_NE(sent[0].text.find("m=audio 10002 RTP/AVP 8"), std::string::npos);
  // An old CSeq in the dialog is refused.
  sent.clear();
  feed(request("INFO", "d1", tag, 1));
  EXPECT_EQ(answers(), (std::vector<int>{500}));
}

// A peer that floods requests while nobody takes the events cannot make the
// queue grow: past its bound, requests are refused 503 at once.
TEST_F(SipUa, EventQueueIsBounded) {
  for (int i = 0; i < 1100; ++i) feed(request("MESSAGE", "flood" + std::to_string(i)));
  std::vector<int> codes = answers();
  EXPECT_EQ(codes.size(), 1100u - 1024u);
  for (int c : codes) EXPECT_EQ(c, 503);
  int events = 0;
  while (eXosip_event_t* e = eXosip_event_wait(0, 0)) {
    ++events;
    eXosip_event_free(e);
  }
  EXPECT_EQ(events, 1024);
}

TEST_F(SipUa, OperationsOnUnknownIdsFail) {
  osip_message_t* m = nullptr;
  EXPECT_LT(eXosip_call_build_answer(42, 200, &m), 0);
  EXPECT_EQ(m, nullptr);
  EXPECT_LT(eXosip_call_build_ack(42, &m), 0);
  EXPECT_LT(eXosip_call_build_info(42, &m), 0);
  EXPECT_LT(eXosip_register_build_register(42, 60, &m), 0);
  EXPECT_LT(eXosip_call_terminate(42, 42), 0);
  EXPECT_LT(eXosip_call_send_answer(42, 200, nullptr), 0);
  EXPECT_EQ(eXosip_get_remote_sdp_from_tid(42), nullptr);
  EXPECT_EQ(eXosip_get_audio_media(nullptr), nullptr);
  EXPECT_LT(eXosip_add_authentication_info("a", "a", "p", "sha-256", nullptr), 0);
}

}  // namespace
