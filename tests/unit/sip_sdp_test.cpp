// The gateway's SDP: line by line for every codec, the RTP port of a channel
// record, the session id, and the refusal of payload types without a format.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "Protocol/sipua/OsipIncludes.h"
#include "Protocol/SipCodec.h"
#include "Protocol/SipHandler.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    EXPECT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r') << "line not ended by CRLF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

std::string build(int port, const char* name) {
  sdp_message_t* sdp = nullptr;
  EXPECT_EQ(SipHandler::SIPBuildMsgSDP(&sdp, port, name), 0);
  if (sdp == nullptr) return "";
  char* text = nullptr;
  EXPECT_EQ(sdp_message_to_str(sdp, &text), 0);
  std::string out = text ? text : "";
  osip_free(text);
  sdp_message_free(sdp);
  return out;
}

class SdpTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = gwconfig;
    gwconfig.localip = "192.0.2.7";
    gwconfig.defaultaudioport = 10000;
  }
  void TearDown() override {
    gwconfig = saved_;
    gw_clock_reset();
  }
  S_Config saved_;
};

struct CodecCase {
  int payload;
  const char* media;
  const char* rtpmap;
};

TEST_F(SdpTest, LinesInOrderForEveryCodec) {
  const CodecCase cases[] = {
      {0, "m=audio 10002 RTP/AVP 0 101", "a=rtpmap:0 PCMU/8000"},
      {8, "m=audio 10002 RTP/AVP 8 101", "a=rtpmap:8 PCMA/8000"},
      {18, "m=audio 10002 RTP/AVP 18 101", "a=rtpmap:18 G729/8000"},
  };
  for (const CodecCase& c : cases) {
    SCOPED_TRACE(c.payload);
    gwconfig.rtpplaytype = c.payload;
    std::vector<std::string> got = lines_of(build(10002, "1001"));
    ASSERT_EQ(got.size(), 11u);
    EXPECT_EQ(got[0], "v=0");
    // o=<localip> <id> <id> IN IP4 <localip>
    std::istringstream o(got[1].substr(2));
    std::string user, id, version, net, addrtype, addr;
    o >> user >> id >> version >> net >> addrtype >> addr;
    EXPECT_EQ(got[1].rfind("o=", 0), 0u);
    EXPECT_EQ(user, "192.0.2.7");
    EXPECT_EQ(id, version);
    EXPECT_EQ(id.size(), 10u);
    EXPECT_EQ(id[0], '1');
    EXPECT_EQ(net, "IN");
    EXPECT_EQ(addrtype, "IP4");
    EXPECT_EQ(addr, "192.0.2.7");
    EXPECT_EQ(got[2], "s=1001");
    EXPECT_EQ(got[3], "t=0 0");
    EXPECT_EQ(got[4], c.media);
    EXPECT_EQ(got[5], "c=IN IP4 192.0.2.7");
    EXPECT_EQ(got[6], c.rtpmap);
    EXPECT_EQ(got[7], "a=rtpmap:101 telephone-event/8000");
    EXPECT_EQ(got[8], "a=fmtp:101 0-16");
    EXPECT_EQ(got[9], "a=ptime:40");
    EXPECT_EQ(got[10], "a=sendrecv");
  }
}

TEST_F(SdpTest, PortOfAChannelRecord) {
  S_User one, two;
  one.userid = 1;
  two.userid = 2;
  EXPECT_EQ(sip_rtp_port(one), 10002);
  EXPECT_EQ(sip_rtp_port(two), 10004);
  gwconfig.defaultaudioport = 20000;
  EXPECT_EQ(sip_rtp_port(two), 20004);
  EXPECT_NE(build(sip_rtp_port(two), "x").find("m=audio 20004 "), std::string::npos);
}

std::string session_id(const std::string& text) {
  std::istringstream o(text.substr(text.find("o=") + 2));
  std::string user, id;
  o >> user >> id;
  return id;
}

TEST_F(SdpTest, SameSecondSameSessionId) {
  gw_clock_set(1700000000);
  std::string a = session_id(build(10002, "a"));
  std::string b = session_id(build(10004, "b"));
  EXPECT_EQ(a, b);
  gw_clock_set(1700000100);
  std::string c = session_id(build(10002, "a"));
  EXPECT_NE(a, c);
}

TEST_F(SdpTest, PayloadTypesWithoutAFormatAreRefused) {
  for (int payload : {-1, 1, 3, 9, 17, 19, 96, 101, 127, 1000}) {
    SCOPED_TRACE(payload);
    EXPECT_EQ(sip_codec_for_payload(payload), nullptr);
    gwconfig.rtpplaytype = payload;
    sdp_message_t* sdp = reinterpret_cast<sdp_message_t*>(&payload);
    EXPECT_EQ(SipHandler::SIPBuildMsgSDP(&sdp, 10002, "1001"), -1);
    EXPECT_EQ(sdp, nullptr);
  }
}

TEST_F(SdpTest, PortOutOfRangeIsRefused) {
  for (int port : {-2, 65536, 70000}) {
    sdp_message_t* sdp = nullptr;
    EXPECT_EQ(SipHandler::SIPBuildMsgSDP(&sdp, port, "1001"), -1);
    EXPECT_EQ(sdp, nullptr);
  }
}

}  // namespace
