// Feeds arbitrary bytes to every decoding entry point of both protocol sides:
// parameter messages against a table with nested structs and lists (into a
// record and into pointers), skipping, deep nesting, property streams,
// property requests, and the client's event buffer. The first byte picks the
// entry point; the rest is what the peer sent. A message that decodes is
// written back and decoded again, and must come out the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "VoiceHost/sid/protocol/BinClient.h"
#include "VoiceHost/sid/protocol/BinServer.h"
#include "VoiceHost/sid/protocol/MemoryTransport.h"
#include "tests/unit/SidTestTables.h"

namespace {

using namespace Sid::Protocol;
using Sid::MemoryTransport;
namespace T = SidTest;

constexpr int kMaxMessages = 64;

void check(bool condition)
{
  if (!condition) abort();
}

// Encodes a record as a response body and decodes it again: same bytes twice.
void round_trip(const T::Everything& rec)
{
  MemoryTransport a;
  BinServer s(nullptr, &a, T::kFields);
  check(s.wr_response(nullptr, 1, &rec, T::EVERYTHING) == OK);
  MemoryTransport b;
  BinClient c(&b, T::kFields);
  b.feed(a.output().data() + 3, a.output().size() - 3);
  T::Everything again{};
  check(c.rd_parms(nullptr, &again, T::EVERYTHING) == OK);
  MemoryTransport a2;
  BinServer s2(nullptr, &a2, T::kFields);
  check(s2.wr_response(nullptr, 1, &again, T::EVERYTHING) == OK);
  check(a.output() == a2.output());
}

template <class P>
void messages(P& p, MemoryTransport& t, Status (*one)(P&))
{
  for (int i = 0; i < kMaxMessages && t.available(); ++i) {
    if (one(p) != OK) p.resync_decode(nullptr);
  }
}

Status server_call(BinServer& s)
{
  Command cmd;
  unsigned modid, method, rid;
  Status st = s.rd_command(nullptr, cmd);
  if (st != OK) return st;
  if ((st = s.rd_call(nullptr, modid, method, rid)) != OK) return st;
  T::Everything rec{};
  st = s.rd_parms(nullptr, &rec, T::EVERYTHING);
  if (st == OK) round_trip(rec);
  return st;
}

Status client_parms(BinClient& c)
{
  T::Everything rec = {};
  Status st = c.rd_parms(nullptr, &rec, T::EVERYTHING);
  if (st == OK) round_trip(rec);
  return st;
}

Status chain(BinServer& s)
{
  int storage[T::CHAIN_LEVELS + 1] = {};
  return s.rd_parms(nullptr, storage, T::chain_message(T::CHAIN_LEVELS + 1));
}

Status skip(BinClient& c) { return c.sk_parms(nullptr); }

Status pointers(BinServer& s)
{
  int number = 0;
  SEBinary data;
  return s.rd_parms_lst(nullptr, T::CALL, static_cast<void*>(&number), static_cast<void*>(&data));
}

// A property stream: scalar kinds are read into a destination of their type,
// anything else is skipped.
Status property_stream(BinClient& c)
{
  Command cmd;
  Status st = c.rd_response_or_event(nullptr, cmd);
  if (st != OK) return st;
  for (int n = 0; n < 4096; ++n) {
    unsigned modid, oid, propid;
    unsigned char kind;
    st = c.rd_property(nullptr, modid, oid, propid, kind);
    if (st == COMPLETED) return OK;
    if (st != OK) return st;
    SEString s;
    unsigned u;
    uint64_t big;
    bool b;
    SEBinary bin;
    switch (kind) {
    case 'S':
    case 'X':
    case 'f':
      st = c.rd_value(kind, nullptr, &s, T::PROP_STRING);
      break;
    case 'i':
    case 'u':
    case 'e':
    case 'O':
      st = c.rd_value(kind, nullptr, &u, T::PROP_UINT);
      break;
    case 'U':
      st = c.rd_value(kind, nullptr, &big, T::PROP_UINT);
      break;
    case 'T':
    case 'F':
      st = c.rd_value(kind, nullptr, &b, T::PROP_BOOL);
      break;
    case 'B':
      st = c.rd_value(kind, nullptr, &bin, T::PROP_BINARY);
      break;
    default:
      st = c.sk_value(kind, nullptr);
    }
    if (st != OK) return st;
  }
  return ERR_DECODE;
}

Status property_request(BinServer& s)
{
  Command cmd;
  Status st = s.rd_command(nullptr, cmd);
  if (st != OK) return st;
  for (int n = 0; n < 4096; ++n) {
    unsigned modid, oid, propid;
    st = s.rd_get_property(nullptr, modid, oid, propid);
    if (st == COMPLETED) return OK;
    if (st != OK) return st;
  }
  return ERR_DECODE;
}

// What the client session does while it waits: buffer everything up to a
// reply, read the reply, then deliver the buffered messages.
Status buffering(BinClient& c)
{
  Command cmd;
  Status st;
  int n = 0;
  do {
    if ((st = c.buffer_events(nullptr, cmd)) != OK) return st;
  } while (cmd != CMD_XREPLY && cmd != CMD_GET_REPLY && ++n < kMaxMessages);
  if (cmd == CMD_XREPLY) {
    unsigned rid;
    T::Everything rec{};
    if ((st = c.rd_response_id(nullptr, rid)) != OK || (st = c.rd_parms(nullptr, &rec, T::EVERYTHING)) != OK)
      return st;
  } else if (cmd == CMD_GET_REPLY) {
    for (int k = 0; k < 4096; ++k) {
      unsigned modid, oid, propid;
      unsigned char kind;
      st = c.rd_property(nullptr, modid, oid, propid, kind);
      if (st == COMPLETED) break;
      if (st != OK || (st = c.sk_value(kind, nullptr)) != OK) return st;
    }
  }
  // Buffered messages are whole: they must decode now.
  while (c.has_buffered_event()) {
    check(c.rd_response_or_event(nullptr, cmd) == OK);
    if (cmd == CMD_EVENT) {
      unsigned modid, event_id;
      check(c.rd_event(nullptr, modid, event_id) == OK);
      st = c.sk_parms(nullptr);
      check(st == OK || st == ERR_CALL);
      if (st == ERR_CALL) return st;
    } else {
      check(cmd == CMD_PROPCHANGE);
      for (;;) {
        unsigned modid, oid, propid;
        unsigned char kind;
        st = c.rd_property(nullptr, modid, oid, propid, kind);
        if (st == COMPLETED) break;
        check(st == OK);
        check(c.sk_value(kind, nullptr) == OK);
      }
    }
  }
  return OK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  MemoryTransport t;
  t.feed(data + 1, size - 1);
  switch (data[0] % 8) {
  case 0: {
    BinServer s(nullptr, &t, T::kFields);
    messages(s, t, &server_call);
    break;
  }
  case 1: {
    BinClient c(&t, T::kFields);
    messages(c, t, &client_parms);
    break;
  }
  case 2: {
    BinServer s(nullptr, &t, T::kChain.fields);
    messages(s, t, &chain);
    break;
  }
  case 3: {
    BinClient c(&t, T::kFields);
    messages(c, t, &skip);
    break;
  }
  case 4: {
    BinClient c(&t, T::kFields);
    messages(c, t, &property_stream);
    break;
  }
  case 5: {
    BinServer s(nullptr, &t, T::kFields);
    messages(s, t, &property_request);
    break;
  }
  case 6: {
    BinClient c(&t, T::kFields);
    messages(c, t, &buffering);
    break;
  }
  case 7: {
    BinServer s(nullptr, &t, T::kFields);
    messages(s, t, &pointers);
    break;
  }
  }
  return 0;
}
