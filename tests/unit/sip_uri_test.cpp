// Bounded URIs and display names: what fits is built exactly, what does not
// or what would change the address is refused, never cut.

#include <gtest/gtest.h>

#include <string>

#include "Protocol/SipUri.h"

namespace {

struct UriCase {
  std::string user;
  std::string host;
  int port;
  bool ok;
  const char* uri;
};

TEST(SipUri, Table) {
  // "sip:" + 151 + "@h:5" = 159 characters: the most a 160-byte buffer holds.
  const std::string user151(151, 'u');
  const UriCase cases[] = {
      {"1001", "10.0.0.9", 5060, true, "sip:1001@10.0.0.9:5060"},
      {"1001", "10.0.0.9", kNoPort, true, "sip:1001@10.0.0.9"},
      {"bob.smith_1", "pbx.example.org", 0, true, "sip:bob.smith_1@pbx.example.org:0"},
      {"+4930123", "h", 65535, true, "sip:+4930123@h:65535"},
      {user151, "h", 5, true, nullptr},                // exactly 159 characters
      {user151 + "u", "h", 5, false, ""},              // 160: would not fit
      {std::string(300, 'u'), "10.0.0.9", 5060, false, ""},
      {"1001", std::string(200, 'h'), 5060, false, ""},
      {"", "10.0.0.9", 5060, false, ""},
      {"1001", "", 5060, false, ""},
      {"a@evil.example", "10.0.0.9", 5060, false, ""},  // would address another host
      {"1001>", "10.0.0.9", 5060, false, ""},
      {"55;maddr=10.9.9.9", "10.0.0.9", 5060, false, ""},  // read as URI parameters
      {"55?x=y", "10.0.0.9", 5060, false, ""},
      {"a,b", "10.0.0.9", 5060, false, ""},
      {"10 01", "10.0.0.9", 5060, false, ""},
      {"1001\r\nX-Injected: 1", "10.0.0.9", 5060, false, ""},
      {"1001", "10.0.0.9:7000", 5060, false, ""},
      {"1001", "10.0.0.9;transport=tcp", 5060, false, ""},
      {"1001", "10.0.0.9", 65536, false, ""},
      {"1001", "10.0.0.9", -7, false, ""},
  };
  for (const UriCase& c : cases) {
    SCOPED_TRACE(c.user.substr(0, 40) + " @ " + c.host.substr(0, 40));
    char out[kSipUriSize];
    out[0] = 'x';
    EXPECT_EQ(sip_make_uri(out, c.user, c.host, c.port), c.ok);
    if (c.uri != nullptr) {
      EXPECT_STREQ(out, c.uri);
    } else {
      EXPECT_EQ(std::string(out), "sip:" + c.user + "@" + c.host + ":" + std::to_string(c.port));
      EXPECT_EQ(std::string(out).size(), kSipUriSize - 1);
    }
  }
}

TEST(SipUri, DisplayNames) {
  struct Case {
    std::string name;
    bool ok;
    const char* quoted;
  };
  const Case cases[] = {
      {"Front", true, "\"Front\""},
      {"Front Desk", true, "\"Front Desk\""},
      {"", true, "\"\""},
      {"say \"hi\"", true, "\"say \\\"hi\\\"\""},
      {"back\\slash", true, "\"back\\\\slash\""},
      {"line\r\nVia: x", false, ""},
      {"tab\there", false, ""},
      {std::string(200, 'n'), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 40));
    char out[kSipUriSize];
    EXPECT_EQ(sip_quote_display_name(c.name, out, sizeof out), c.ok);
    EXPECT_STREQ(out, c.quoted);
  }
}

}  // namespace
