#ifndef TESTS_UNIT_CLIENTRUNTIME_SCRIPTEDRUNTIME_H
#define TESTS_UNIT_CLIENTRUNTIME_SCRIPTEDRUNTIME_H

// A scripted stand-in for the Skype runtime on loopback TLS: it accepts the
// session, answers the handshake and then reads and writes exact protocol
// bytes as each test dictates.
#include <memory>
#include <string>
#include <thread>

#include "ClientRuntime/api/generated/SkypeApi.h"
#include "tests/unit/clientruntime/TestPeer.h"

namespace testpeer {

// Byte strings of the protocol.
class Bytes {
public:
  Bytes& s(const std::string& text) {
    m_b += text;
    return *this;
  }
  Bytes& c(char ch) {
    m_b += ch;
    return *this;
  }
  Bytes& u(unsigned v) {
    do {
      unsigned char b = v & 0x7F;
      v >>= 7;
      m_b += static_cast<char>(v ? (b | 0x80) : b);
    } while (v);
    return *this;
  }
  Bytes& str(const std::string& text) {
    u(static_cast<unsigned>(text.size()));
    m_b += text;
    return *this;
  }
  operator std::string() const { return m_b; }
  const std::string& bytes() const { return m_b; }

private:
  std::string m_b;
};

// Messages the runtime sends.
std::string reply(unsigned rid, const std::string& params);          // "Zr" rid params
std::string event(unsigned modid, unsigned eid, const std::string& params);  // "ZE" ...
// A property stream ('g' or 'C') of single properties: (modid, oid, kind, prop, value bytes).
struct Prop {
  unsigned modid, oid;
  char kind;
  unsigned prop;
  std::string value;
};
std::string props(char cmd, const std::vector<Prop>& list);
// The bytes the client sends for a call of modid/method with request id rid.
std::string call(unsigned modid, unsigned method, unsigned rid, const std::string& params);
// A property request for one property of one object, as the generated readers send it.
std::string get(unsigned modid, unsigned oid, unsigned prop);

struct Runtime {
  Peer peer{true};
  // Starts the session's connection to this runtime and answers the handshake.
  bool connect(Sid::ClientSession& session);
  bool expect(const std::string& bytes, int timeout_ms = 5000);
  void send(const std::string& bytes) { peer.write(bytes); }
};

} // namespace testpeer

#endif
