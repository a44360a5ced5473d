// The gateway's SDP body: one audio stream in the configured codec plus
// telephone-event 101, always the same lines, whatever the peer offered.

#include <cstdio>
#include <cstdlib>

#include "Protocol/sipua/OsipIncludes.h"
#include "Protocol/SipCodec.h"
#include "Protocol/SipHandler.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

char* dup(const char* text) { return osip_strdup(text); }

}  // namespace

int sip_rtp_port(const S_User& user) { return gwconfig.defaultaudioport + 2 * user.userid; }

int SipHandler::SIPBuildMsgSDP(sdp_message_t** out, int port, const char* name) {
  *out = nullptr;
  const SipCodec* codec = sip_codec_for_payload(gwconfig.rtpplaytype);
  if (codec == nullptr) {
    GW_TRACE("rtpplaytype %d has no media format, no SDP built\n\n", gwconfig.rtpplaytype);
    return -1;
  }
  if (port < 0 || port > 65535) {
    GW_TRACE("RTP port %d out of range, no SDP built\n\n", port);
    return -1;
  }
  const char* local = gwconfig.localip.c_str();

  sdp_message_t* sdp = nullptr;
  if (sdp_message_init(&sdp) != 0) {
    GW_TRACE("sdp init error\n\n");
    return -1;
  }
  auto fail = [&](const char* what) {
    GW_TRACE("%s\n\n", what);
    sdp_message_free(sdp);
    return -1;
  };

  // Two SDPs built within one second carry the same session id.
  srand(static_cast<unsigned>(gw_time()));
  int r = rand();
  char id[16];
  snprintf(id, sizeof id, "%d", kSessionIdBase + r % kSessionIdBase);

  if (sdp_message_v_version_set(sdp, dup("0")) != 0) return fail("sdp set version error");
  if (sdp_message_o_origin_set(sdp, dup(local), dup(id), dup(id), dup("IN"), dup("IP4"), dup(local)) != 0)
    return fail("sdp set origin error");
  if (sdp_message_t_time_descr_add(sdp, dup("0"), dup("0")) != 0) return fail("sdp add time error");
  if (sdp_message_s_name_set(sdp, dup(name)) != 0) return fail("sdp set name error");

  char portText[8];
  snprintf(portText, sizeof portText, "%d", port);
  if (sdp_message_m_media_add(sdp, dup("audio"), dup(portText), nullptr, dup("RTP/AVP")) != 0)
    return fail("sdp add media error");
  if (sdp_message_m_payload_add(sdp, 0, dup(codec->number)) != 0 ||
      sdp_message_m_payload_add(sdp, 0, dup("101")) != 0)
    return fail("sdp add payload error");

  if (sdp_message_a_attribute_add(sdp, 0, dup("rtpmap"), dup(codec->rtpmap)) != 0)
    GW_TRACE("sdp add attribute rtpmap error\n\n");
  if (sdp_message_a_attribute_add(sdp, 0, dup("rtpmap"), dup("101 telephone-event/8000")) != 0)
    GW_TRACE("sdp add attribute rtpmap error\n\n");
  if (sdp_message_a_attribute_add(sdp, 0, dup("fmtp"), dup("101 0-16")) != 0)
    GW_TRACE("sdp add attribute rtpmap error\n\n");
  if (sdp_message_a_attribute_add(sdp, 0, dup("ptime"), dup("40")) != 0)
    GW_TRACE("sdp add attribute ptime error\n\n");
  if (sdp_message_a_attribute_add(sdp, 0, dup("sendrecv"), nullptr) != 0)
    return fail("sdp add attribute sendrecv error");

  if (sdp_message_c_connection_add(sdp, 0, dup("IN"), dup("IP4"), dup(local), nullptr, nullptr) != 0)
    return fail("sdp add connection error");

  *out = sdp;
  return 0;
}
