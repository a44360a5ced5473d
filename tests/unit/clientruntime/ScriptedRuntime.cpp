#include "tests/unit/clientruntime/ScriptedRuntime.h"

#include <gtest/gtest.h>

namespace testpeer {

std::string reply(unsigned rid, const std::string& params) { return Bytes().s("Zr").u(rid).s(params); }

std::string event(unsigned modid, unsigned eid, const std::string& params) {
  return Bytes().s("ZE").u(modid).u(eid).s(params);
}

std::string props(char cmd, const std::vector<Prop>& list) {
  Bytes b;
  b.c('Z').c(cmd);
  bool first = true;
  for (const Prop& p : list) {
    if (!first) b.c(',');
    first = false;
    b.u(p.modid).u(p.oid).c(p.kind).u(p.prop).s(p.value).s("]]");
  }
  b.s("]z");
  return b;
}

std::string call(unsigned modid, unsigned method, unsigned rid, const std::string& params) {
  return Bytes().s("ZR").u(modid).u(method).u(rid).s(params);
}

std::string get(unsigned modid, unsigned oid, unsigned prop) {
  return Bytes().s("ZG").u(prop).c(']').u(modid).u(oid).s("]]z");
}

bool Runtime::connect(Sid::ClientSession& session) {
  bool ok = false;
  std::thread t([&] { ok = peer.accept() && peer.read(8) == "00000000" && peer.write("OK"); });
  int r = session.init(self_signed_pem().c_str(), "127.0.0.1", peer.port(), nullptr, 0, 0);
  t.join();
  return ok && r == 0;
}

bool Runtime::expect(const std::string& bytes, int timeout_ms) {
  std::string got = peer.read(bytes.size(), timeout_ms);
  EXPECT_EQ(got, bytes);
  return got == bytes;
}

} // namespace testpeer
