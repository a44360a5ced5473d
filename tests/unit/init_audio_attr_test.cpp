// Velmora::InitAudioAttr over a table of peer SDPs.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Protocol/sipua/OsipIncludes.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"

namespace {

struct Case {
  const char* name;
  const char* sdp;  // null: no SDP at all
  int result;
  const char* ip;   // acDstIP afterwards
  int port;         // nsDstPort afterwards
};

const char* kBefore = "10.9.9.9";
constexpr int kBeforePort = 4444;

std::string body(const char* session_c, const char* media) {
  std::string s = "v=0\r\no=peer 1 1 IN IP4 198.51.100.1\r\ns=call\r\n";
  s += session_c;
  s += "t=0 0\r\n";
  s += media;
  return s;
}

TEST(InitAudioAttr, PeerSdpTable) {
  const std::string session_only =
      body("c=IN IP4 198.51.100.10\r\n", "m=audio 30000 RTP/AVP 0 101\r\na=rtpmap:0 PCMU/8000\r\n");
  const std::string media_only =
      body("", "m=audio 30002 RTP/AVP 8\r\nc=IN IP4 198.51.100.11\r\n");
  const std::string both =
      body("c=IN IP4 198.51.100.12\r\n", "m=audio 30004 RTP/AVP 18\r\nc=IN IP4 198.51.100.13\r\n");
  const std::string no_audio =
      body("c=IN IP4 198.51.100.14\r\n", "m=video 30006 RTP/AVP 96\r\n");
  const std::string video_first =
      body("", "m=video 30008 RTP/AVP 96\r\nc=IN IP4 198.51.100.15\r\n"
               "m=audio 30010 RTP/AVP 0\r\nc=IN IP4 198.51.100.16\r\n");
  const std::string no_connection = body("", "m=audio 30012 RTP/AVP 0\r\n");
  const std::string same_address =
      body("c=IN IP4 10.9.9.9\r\n", "m=audio 30014 RTP/AVP 0\r\n");
  const std::string long_address =
      body("c=IN IP4 peer-media.example.net\r\n", "m=audio 30016 RTP/AVP 0\r\n");
  const std::string bad_port =
      body("c=IN IP4 198.51.100.17\r\n", "m=audio 99999 RTP/AVP 0\r\n");

  const Case cases[] = {
      {"no SDP", nullptr, -1, kBefore, kBeforePort},
      {"session-level connection", session_only.c_str(), 0, "198.51.100.10", 30000},
      {"media-level only", media_only.c_str(), 0, "198.51.100.11", 30002},
      {"both: session level wins", both.c_str(), 0, "198.51.100.12", 30004},
      {"no audio media", no_audio.c_str(), 0, kBefore, kBeforePort},
      {"audio after video: its own line", video_first.c_str(), 0, "198.51.100.16", 30010},
      {"no connection line", no_connection.c_str(), -1, kBefore, kBeforePort},
      {"same address: nothing changes", same_address.c_str(), 0, kBefore, kBeforePort},
      {"address longer than 15: refused", long_address.c_str(), -1, kBefore, kBeforePort},
      {"port out of range: refused", bad_port.c_str(), -1, kBefore, kBeforePort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AUDIO_CAPTURE_s capture;
    AUDIO_PLAY_s play;
    snprintf(capture.acDstIP, sizeof capture.acDstIP, "%s", kBefore);
    capture.nsDstPort = kBeforePort;
    sdp_message_t* sdp = nullptr;
    if (c.sdp != nullptr) {
      ASSERT_EQ(sdp_message_init(&sdp), 0);
      ASSERT_EQ(sdp_message_parse(sdp, c.sdp), 0);
    }
    EXPECT_EQ(Velmora::InitAudioAttr(sdp, &capture, &play), c.result);
    EXPECT_STREQ(capture.acDstIP, c.ip);
    EXPECT_EQ(capture.nsDstPort, c.port);
    if (sdp != nullptr) sdp_message_free(sdp);
  }
}

TEST(InitAudioAttr, MissingEndpoint) {
  sdp_message_t* sdp = nullptr;
  ASSERT_EQ(sdp_message_init(&sdp), 0);
  std::string text = body("c=IN IP4 198.51.100.10\r\n", "m=audio 30000 RTP/AVP 0\r\n");
  ASSERT_EQ(sdp_message_parse(sdp, text.c_str()), 0);
  AUDIO_CAPTURE_s capture;
  AUDIO_PLAY_s play;
  EXPECT_EQ(Velmora::InitAudioAttr(sdp, nullptr, &play), -1);
  EXPECT_EQ(Velmora::InitAudioAttr(sdp, &capture, nullptr), -1);
  EXPECT_STREQ(capture.acDstIP, "");
  // An empty endpoint takes the first reading of a call.
  EXPECT_EQ(Velmora::InitAudioAttr(sdp, &capture, &play), 0);
  EXPECT_STREQ(capture.acDstIP, "198.51.100.10");
  EXPECT_EQ(capture.nsDstPort, 30000);
  sdp_message_free(sdp);
}

}  // namespace
