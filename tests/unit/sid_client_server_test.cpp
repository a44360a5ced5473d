// BinClient against BinServer over the memory transport (and a socketpair):
// calls and responses, events, property requests and replies, property
// changes, and events buffered while a call waits for its response.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "VoiceHost/sid/protocol/BinClient.h"
#include "VoiceHost/sid/protocol/BinServer.h"
#include "VoiceHost/sid/protocol/MemoryTransport.h"
#include "VoiceHost/sid/protocol/ProtocolFactory.h"
#include "VoiceHost/sid/protocol/SocketPairTransport.h"
#include "tests/unit/SidTestBytes.h"
#include "tests/unit/SidTestTables.h"

namespace {

using namespace Sid::Protocol;
using Sid::MemoryTransport;
using SidTest::hex;
using SidTest::to_hex;
namespace T = SidTest;

const char kCall[] = {'Z', 'R', 0x02, 0x05};    // module 2, method 5
const char kEvent[] = {'Z', 'E', 0x02, 0x07};   // module 2, event 7

struct Link {
  MemoryTransport client_end, server_end;
  BinClient client{&client_end, T::kFields};
  BinServer server{nullptr, &server_end, T::kFields};
  Link() { MemoryTransport::link(client_end, server_end); }
};

// One property as the client reads it back.
struct Prop {
  unsigned modid, oid, propid;
  unsigned char kind;
  std::string value;
};

// Reads a whole property stream, each value by its kind.
std::vector<Prop> read_props(BinClient& c, Status& end)
{
  std::vector<Prop> props;
  for (;;) {
    Prop p{};
    end = c.rd_property(nullptr, p.modid, p.oid, p.propid, p.kind);
    if (end != OK) return props;
    switch (p.kind) {
    case 'S': {
      SEString s;
      EXPECT_EQ(c.rd_value(p.kind, nullptr, &s, T::PROP_STRING), OK);
      p.value = s.data();
      break;
    }
    case 'u': {
      unsigned u = 0;
      EXPECT_EQ(c.rd_value(p.kind, nullptr, &u, T::PROP_UINT), OK);
      p.value = std::to_string(u);
      break;
    }
    case 'T':
    case 'F': {
      bool b = p.kind == 'F';
      EXPECT_EQ(c.rd_value(p.kind, nullptr, &b, T::PROP_BOOL), OK);
      p.value = b ? "true" : "false";
      break;
    }
    case 'N':
      p.value = "<none>";
      break;
    default:
      ADD_FAILURE() << "kind " << p.kind;
      end = ERR_DECODE;
      return props;
    }
    props.push_back(p);
  }
}

TEST(ClientServer, CallAndResponse)
{
  Link l;
  T::IntBinary args{42, SEBinary("\x01\x02\x03", 3)};
  unsigned rid = 99;
  ASSERT_EQ(l.client.wr_call(nullptr, kCall, 4, rid, &args, T::CALL), OK);

  Command cmd;
  ASSERT_EQ(l.server.rd_command(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_XCALL);
  unsigned modid, method, srid;
  ASSERT_EQ(l.server.rd_call(nullptr, modid, method, srid), OK);
  EXPECT_EQ(modid, 2u);
  EXPECT_EQ(method, 5u);
  EXPECT_EQ(srid, rid);
  T::IntBinary got{};
  ASSERT_EQ(l.server.rd_parms(nullptr, &got, T::CALL), OK);
  EXPECT_EQ(got.number, 42);
  EXPECT_TRUE(got.data == args.data);

  T::Everything result{};
  result.s = "done";
  result.ints.append(7);
  ASSERT_EQ(l.server.wr_response(nullptr, srid, &result, T::EVERYTHING), OK);
  EXPECT_TRUE(l.server_end.counters().last_immediate);

  ASSERT_EQ(l.client.rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_XREPLY);
  unsigned crid;
  ASSERT_EQ(l.client.rd_response_id(nullptr, crid), OK);
  EXPECT_EQ(crid, rid);
  T::Everything back = {};
  ASSERT_EQ(l.client.rd_parms(nullptr, &back, T::EVERYTHING), OK);
  EXPECT_STREQ(back.s, "done");
  ASSERT_EQ(back.ints.size(), 1u);
  EXPECT_EQ(back.ints[0], 7);
  EXPECT_EQ(l.client_end.available(), 0u);
  EXPECT_EQ(l.server_end.available(), 0u);

  // An unknown method answered with the error form.
  ASSERT_EQ(l.client.wr_call(nullptr, kCall, 4, rid), OK);
  ASSERT_EQ(l.server.rd_command(nullptr, cmd), OK);
  ASSERT_EQ(l.server.rd_call(nullptr, modid, method, srid), OK);
  ASSERT_EQ(l.server.rd_parms(nullptr), OK);
  ASSERT_EQ(l.server.wr_response_error(nullptr, srid), OK);
  ASSERT_EQ(l.client.rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(l.client.rd_response_id(nullptr, crid), OK);
  EXPECT_EQ(l.client.rd_parms(nullptr, &back, T::EVERYTHING), ERR_CALL);
  EXPECT_EQ(l.client.resync_decode(nullptr), OK);
  EXPECT_EQ(l.client_end.counters().end_decoding_with_error, 1u);
}

TEST(ClientServer, Event)
{
  Link l;
  T::IntBinary args{-3, SEBinary()};
  ASSERT_EQ(l.server.wr_event(nullptr, kEvent, 4, &args, T::CALL), OK);
  EXPECT_FALSE(l.server_end.counters().last_immediate);
  ASSERT_EQ(l.server.wr_event_lst(nullptr, kEvent, 4, T::CALL, static_cast<void*>(&args.number),
                                  static_cast<void*>(&args.data)),
            OK);
  for (int i = 0; i < 2; ++i) {
    Command cmd;
    ASSERT_EQ(l.client.rd_response_or_event(nullptr, cmd), OK);
    ASSERT_EQ(cmd, CMD_EVENT);
    unsigned modid, event_id;
    ASSERT_EQ(l.client.rd_event(nullptr, modid, event_id), OK);
    EXPECT_EQ(modid, 2u);
    EXPECT_EQ(event_id, 7u);
    T::IntBinary got{5, SEBinary("x", 1)};
    ASSERT_EQ(l.client.rd_parms(nullptr, &got, T::CALL), OK);
    EXPECT_EQ(got.number, -3);
    EXPECT_EQ(got.data.size(), 0u);
  }
}

struct Triple {
  unsigned modid, oid, propid;
  bool operator==(const Triple&) const = default;
};

TEST(ClientServer, PropertyRequest)
{
  Link l;
  ASSERT_EQ(l.client.begin_get_request(nullptr, 10, 5, 7), OK);
  ASSERT_EQ(l.client.add_get_property(nullptr, 10, 6, 8), OK);
  SEIntList oids, props;
  oids.append(1);
  oids.append(2);
  props.append(3);
  props.append(4);
  ASSERT_EQ(l.client.add_get_properties(nullptr, 11, oids, props), OK);
  ASSERT_EQ(l.client.end_get_property(nullptr), OK);
  // the request as the grammar writes it, checked on the wire (through a copy)
  MemoryTransport copy = l.server_end;
  std::string wire(copy.available(), '\0');
  ASSERT_EQ(copy.bl_read_bytes(nullptr, static_cast<unsigned>(wire.size()), wire.data()), Sid::TransportInterface::OK);
  EXPECT_EQ(to_hex(wire), "5A 47 07 5D 0A 05 5D 2C 08 5D 0A 06 5D 2C 03 2C 04 5D 0B 01 2C 02 5D 5D 7A");
  EXPECT_TRUE(l.client_end.counters().last_immediate);

  Command cmd;
  ASSERT_EQ(l.server.rd_command(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_GET);
  std::vector<Triple> got;
  for (;;) {
    Triple t{};
    Status s = l.server.rd_get_property(nullptr, t.modid, t.oid, t.propid);
    if (s == COMPLETED) break;
    ASSERT_EQ(s, OK);
    got.push_back(t);
  }
  const std::vector<Triple> expect = {{10, 5, 7}, {10, 6, 8}, {11, 1, 3}, {11, 1, 4}, {11, 2, 3}, {11, 2, 4}};
  EXPECT_EQ(got, expect);
  EXPECT_EQ(l.server.rg_state(), 0);
  EXPECT_EQ(l.server_end.available(), 0u);
  EXPECT_EQ(l.server_end.counters().end_decoding, 1u);
}

TEST(ClientServer, PreEncodedPropertyRequests)
{
  Link l;
  const char header[] = {'Z', 'G', 0x07, ']', 0x0A};  // property 7 of module 10
  ASSERT_EQ(l.client.get_request(nullptr, header, 5, 300), OK);
  ASSERT_EQ(l.client.begin_get_request(nullptr, header, 5, 301), OK);
  ASSERT_EQ(l.client.add_get_property(nullptr, 10, 302, 9), OK);
  ASSERT_EQ(l.client.end_get_property(nullptr), OK);
  const std::vector<std::vector<Triple>> expect = {{{10, 300, 7}}, {{10, 301, 7}, {10, 302, 9}}};
  for (const auto& request : expect) {
    Command cmd;
    ASSERT_EQ(l.server.rd_command(nullptr, cmd), OK);
    std::vector<Triple> got;
    Triple t{};
    Status s;
    while ((s = l.server.rd_get_property(nullptr, t.modid, t.oid, t.propid)) == OK) got.push_back(t);
    EXPECT_EQ(s, COMPLETED);
    EXPECT_EQ(got, request);
  }
}

TEST(ClientServer, MalformedPropertyRequestsFail)
{
  const char* cases[] = {
      "5A 47 07 5D 0A 05 5D 5D 5D",  // ']' ']' not followed by 'z'
      "5A 47 07 3B",                  // property list broken
      "5A 47 07 5D 0A 05 5D 41",      // neither ',' nor ']' after a group
      "5A 47 07 5D 0A",               // truncated
  };
  for (const char* c : cases) {
    MemoryTransport t;
    BinServer s(nullptr, &t, T::kFields);
    t.feed(hex(c));
    Command cmd;
    ASSERT_EQ(s.rd_command(nullptr, cmd), OK);
    Triple tr{};
    Status st;
    int n = 0;
    while ((st = s.rd_get_property(nullptr, tr.modid, tr.oid, tr.propid)) == OK && n < 10) ++n;
    EXPECT_EQ(st, ERR_DECODE) << c;
    EXPECT_EQ(s.resync_decode(nullptr), OK);
    EXPECT_EQ(s.rg_state(), 0);
  }
}

TEST(ClientServer, PropertyReply)
{
  Link l;
  T::Properties p{"alice", 3, true};
  bool off = false;
  ASSERT_EQ(l.server.begin_get_response(nullptr), OK);
  ASSERT_EQ(l.server.add_get_property(nullptr, 4, 10, 5, &p.name, T::PROP_STRING), OK);
  ASSERT_EQ(l.server.add_get_property(nullptr, 7, 10, 5, &p.status, T::PROP_UINT), OK);
  ASSERT_EQ(l.server.add_failed_get_property(nullptr, 8, 10, 6), OK);
  ASSERT_EQ(l.server.add_get_property(nullptr, 9, 12, 1, &off, T::PROP_BOOL), OK);
  ASSERT_EQ(l.server.end_get_response(nullptr), OK);
  EXPECT_TRUE(l.server_end.counters().last_immediate);

  Command cmd;
  ASSERT_EQ(l.client.rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_GET_REPLY);
  Status end;
  std::vector<Prop> props = read_props(l.client, end);
  EXPECT_EQ(end, COMPLETED);
  ASSERT_EQ(props.size(), 4u);
  EXPECT_EQ(props[0].value, "alice");
  EXPECT_EQ(props[0].propid, 4u);
  EXPECT_EQ(props[1].value, "3");
  EXPECT_EQ(props[1].oid, 5u);
  EXPECT_EQ(props[2].kind, 'N');
  EXPECT_EQ(props[2].oid, 6u);
  EXPECT_EQ(props[3].value, "false");
  EXPECT_EQ(props[3].modid, 12u);
  EXPECT_EQ(l.client_end.available(), 0u);
  EXPECT_EQ(l.client_end.counters().end_decoding, 1u);
}

// The grouped forms of the stream (several properties of one object, several
// objects of one module), as another peer may write them.
TEST(ClientServer, PropertyStreamGroups)
{
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  // module 10: object 5 (prop 1 "a", prop 2 T), object 6 (prop 1 'N'); module 11: object 1 (prop 3 u 9)
  t.feed(hex("5A 67 0A 05 53 01 01 61 54 02 5D 2C 06 4E 01 5D 5D 2C 0B 01 75 03 09 5D 5D 5D 7A"));
  Command cmd;
  ASSERT_EQ(c.rd_response_or_event(nullptr, cmd), OK);
  Status end;
  std::vector<Prop> props = read_props(c, end);
  EXPECT_EQ(end, COMPLETED);
  ASSERT_EQ(props.size(), 4u);
  const Prop expect[] = {{10, 5, 1, 'S', "a"}, {10, 5, 2, 'T', "true"}, {10, 6, 1, 'N', "<none>"},
                         {11, 1, 3, 'u', "9"}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(props[i].modid, expect[i].modid) << i;
    EXPECT_EQ(props[i].oid, expect[i].oid) << i;
    EXPECT_EQ(props[i].propid, expect[i].propid) << i;
    EXPECT_EQ(props[i].kind, expect[i].kind) << i;
    EXPECT_EQ(props[i].value, expect[i].value) << i;
  }
  // A broken stream fails and resets the position.
  t.feed(hex("5A 67 0A 05 53 01 01 61 5D 41"));
  ASSERT_EQ(c.rd_response_or_event(nullptr, cmd), OK);
  props = read_props(c, end);
  EXPECT_EQ(end, ERR_DECODE);
  EXPECT_EQ(props.size(), 1u);
  EXPECT_EQ(c.resync_decode(nullptr), OK);
}

TEST(ClientServer, PropertyChange)
{
  Link l;
  SEString name("bob");
  ASSERT_EQ(l.server.begin_property_change_event(nullptr, 4, 10, 5, &name, T::PROP_STRING), OK);
  ASSERT_EQ(l.server.add_property_change(nullptr, 8, 10, 5, nullptr, 0), OK);
  ASSERT_EQ(l.server.end_property_change_event(nullptr), OK);
  EXPECT_FALSE(l.server_end.counters().last_immediate);
  Command cmd;
  ASSERT_EQ(l.client.rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_PROPCHANGE);
  Status end;
  std::vector<Prop> props = read_props(l.client, end);
  EXPECT_EQ(end, COMPLETED);
  ASSERT_EQ(props.size(), 2u);
  EXPECT_EQ(props[0].value, "bob");
  EXPECT_EQ(props[1].kind, 'N');
  EXPECT_EQ(props[1].propid, 8u);
}

// The server sends an event and a property change before the response to a
// call: the client buffers both whole, reads the response, then receives the
// two messages from the buffer exactly as if they had just arrived.
TEST(ClientServer, EventsBeforeTheResponseAreBuffered)
{
  Link l;
  unsigned rid;
  ASSERT_EQ(l.client.wr_call(nullptr, kCall, 4, rid), OK);
  Command cmd;
  unsigned modid, method, srid;
  ASSERT_EQ(l.server.rd_command(nullptr, cmd), OK);
  ASSERT_EQ(l.server.rd_call(nullptr, modid, method, srid), OK);
  ASSERT_EQ(l.server.sk_parms(nullptr), OK);

  std::string big(2000, 'b');  // grows the event buffer past 512 bytes
  T::IntBinary ev{11, SEBinary(big.data(), static_cast<unsigned>(big.size()))};
  ASSERT_EQ(l.server.wr_event(nullptr, kEvent, 4, &ev, T::CALL), OK);
  SEString name("carol");
  ASSERT_EQ(l.server.begin_property_change_event(nullptr, 4, 10, 5, &name, T::PROP_STRING), OK);
  ASSERT_EQ(l.server.end_property_change_event(nullptr), OK);
  T::IntBinary result{77, SEBinary()};
  ASSERT_EQ(l.server.wr_response(nullptr, srid, &result, T::CALL), OK);

  ASSERT_EQ(l.client.buffer_events(nullptr, cmd), OK);
  EXPECT_EQ(cmd, CMD_EVENT);
  EXPECT_TRUE(l.client.has_buffered_event());
  EXPECT_GT(l.client.event_buffer().capacity(), 512u);
  ASSERT_EQ(l.client.buffer_events(nullptr, cmd), OK);
  EXPECT_EQ(cmd, CMD_PROPCHANGE);
  ASSERT_EQ(l.client.buffer_events(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_XREPLY);
  EXPECT_EQ(l.client.buffering(), -1);  // the response body comes from the transport
  unsigned crid;
  ASSERT_EQ(l.client.rd_response_id(nullptr, crid), OK);
  EXPECT_EQ(crid, rid);
  T::IntBinary back{};
  ASSERT_EQ(l.client.rd_parms(nullptr, &back, T::CALL), OK);
  EXPECT_EQ(back.number, 77);
  EXPECT_EQ(l.client.buffering(), 0);
  EXPECT_EQ(l.client_end.available(), 0u);

  // Now the buffered messages, in order.
  ASSERT_TRUE(l.client.has_buffered_event());
  ASSERT_EQ(l.client.rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_EVENT);
  ASSERT_EQ(l.client.rd_event(nullptr, modid, method), OK);
  EXPECT_EQ(modid, 2u);
  EXPECT_EQ(method, 7u);
  T::IntBinary got{};
  ASSERT_EQ(l.client.rd_parms(nullptr, &got, T::CALL), OK);
  EXPECT_EQ(got.number, 11);
  EXPECT_TRUE(got.data == ev.data);
  ASSERT_EQ(l.client.rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_PROPCHANGE);
  Status end;
  std::vector<Prop> props = read_props(l.client, end);
  EXPECT_EQ(end, COMPLETED);
  ASSERT_EQ(props.size(), 1u);
  EXPECT_EQ(props[0].value, "carol");
  EXPECT_FALSE(l.client.has_buffered_event());
  EXPECT_EQ(l.client.event_buffer().capacity(), 512u);  // back to its size once drained
}

TEST(ClientServer, BufferingFailuresKeepOnlyWholeMessages)
{
  MemoryTransport t;
  BinClient c(&t, T::kFields);
  // one whole event, then a truncated one
  t.feed(hex("5A 45 02 07 69 01 04 7A") + hex("5A 45 02 07 69 01"));
  Command cmd;
  ASSERT_EQ(c.buffer_events(nullptr, cmd), OK);
  unsigned held = c.event_buffer().size();
  EXPECT_EQ(held, 8u);
  EXPECT_EQ(c.buffer_events(nullptr, cmd), ERR_DECODE);
  EXPECT_EQ(c.event_buffer().size(), held);
  EXPECT_EQ(c.buffering(), 0);
  EXPECT_EQ(c.resync_decode(nullptr), OK);
  // other commands are refused
  t.clear_input();
  t.feed(hex("5A 52 00 01 00 7A"));
  EXPECT_EQ(c.buffer_events(nullptr, cmd), ERR_DECODE);
  EXPECT_EQ(c.event_buffer().size(), held);
  // the whole event is still delivered
  ASSERT_EQ(c.rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_EVENT);
  unsigned modid, ev;
  ASSERT_EQ(c.rd_event(nullptr, modid, ev), OK);
  T::IntBinary got{};
  ASSERT_EQ(c.rd_parms(nullptr, &got, T::CALL), OK);
  EXPECT_EQ(got.number, 2);
  EXPECT_FALSE(c.has_buffered_event());
}

TEST(ClientServer, ResyncResetsTheDecoder)
{
  MemoryTransport t;
  BinServer s(nullptr, &t, T::kFields);
  t.feed(hex("5A 47 07"));
  Command cmd;
  ASSERT_EQ(s.rd_command(nullptr, cmd), OK);
  unsigned a, b, c;
  EXPECT_EQ(s.rd_get_property(nullptr, a, b, c), ERR_DECODE);
  EXPECT_EQ(s.resync_decode(nullptr), OK);
  EXPECT_EQ(s.rg_state(), 0);
  EXPECT_EQ(s.depth(), 0);
  EXPECT_EQ(s.buffering(), 0);
  EXPECT_EQ(t.counters().end_decoding_with_error, 1u);
  t.terminate();
  EXPECT_EQ(s.resync_decode(nullptr), ERR_DECODE);  // the connection is gone
}

// The object model reads 'O' values straight into its references: a reader
// replaced on one protocol object applies to it alone.
class RefClient : public BinClient {
public:
  using BinClient::BinClient;
  RefClient() = delete;
  void install() { set_reader('O', &RefClient::rd_ref); }
  static Status rd_ref(BinCommon& self, Sid::CommandInitiator* thread, void* dest, unsigned)
  {
    unsigned oid;
    if (self.rd_value(thread, oid) != OK) return ERR_DECODE;
    *static_cast<unsigned*>(dest) = oid + 1000;  // stands for "attach to object oid"
    static_cast<RefClient&>(self).decoded++;
    return OK;
  }
  int decoded = 0;
};

TEST(ClientServer, ReplacedReaderAppliesToThisObjectOnly)
{
  MemoryTransport t1, t2;
  RefClient special(&t1, T::kFields);
  special.install();
  BinClient plain(&t2, T::kFields);
  const std::string wire = hex("4F 04 07 7A");  // field 4 'O' = 7
  T::Everything a{}, b{};
  t1.feed(wire);
  t2.feed(wire);
  ASSERT_EQ(special.rd_parms(nullptr, &a, T::EVERYTHING), OK);
  ASSERT_EQ(plain.rd_parms(nullptr, &b, T::EVERYTHING), OK);
  EXPECT_EQ(a.o, 1007u);
  EXPECT_EQ(special.decoded, 1);
  EXPECT_EQ(b.o, 7u);
}

TEST(ProtocolFactory, BuildsTheRegisteredServer)
{
  MemoryTransport t;
  auto p = ProtocolFactory<BinServer>::create("bin", &t, T::kFields);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->get_api(), nullptr);
  EXPECT_EQ(p->wr_response(nullptr, 1), OK);
  EXPECT_EQ(to_hex(t.output_string()), "5A 72 01 7A");
  EXPECT_EQ(ProtocolFactory<BinServer>::create("xml", &t, T::kFields), nullptr);
  EXPECT_EQ(ProtocolFactory<BinServer>::create(nullptr, &t, T::kFields), nullptr);
}

// Client and server on two threads over a socketpair: calls answered in turn,
// with an event before every response.
TEST(ClientServer, SocketPairThreads)
{
  std::unique_ptr<Sid::SocketPairTransport> a, b;
  ASSERT_TRUE(Sid::SocketPairTransport::make_pair(a, b));
  a->set_read_timeout_ms(5000);
  b->set_read_timeout_ms(5000);
  BinClient client(a.get(), T::kFields);
  BinServer server(nullptr, b.get(), T::kFields);
  constexpr int kCalls = 200;
  std::thread serve([&]() {
    for (int i = 0; i < kCalls; ++i) {
      Command cmd;
      unsigned modid, method, rid;
      T::IntBinary args{};
      if (server.rd_command(nullptr, cmd) != OK || server.rd_call(nullptr, modid, method, rid) != OK ||
          server.rd_parms(nullptr, &args, T::CALL) != OK)
        return;
      T::IntBinary ev{i, SEBinary()};
      server.wr_event(nullptr, kEvent, 4, &ev, T::CALL);
      args.number *= 2;
      server.wr_response(nullptr, rid, &args, T::CALL);
    }
  });
  int events = 0;
  for (int i = 0; i < kCalls; ++i) {
    T::IntBinary args{i + 1, SEBinary("pkt", 3)};
    unsigned rid;
    ASSERT_EQ(client.wr_call(nullptr, kCall, 4, rid, &args, T::CALL), OK);
    Command cmd;
    do {
      ASSERT_EQ(client.buffer_events(nullptr, cmd), OK);
    } while (cmd != CMD_XREPLY);
    unsigned crid;
    ASSERT_EQ(client.rd_response_id(nullptr, crid), OK);
    ASSERT_EQ(crid, rid);
    T::IntBinary back{};
    ASSERT_EQ(client.rd_parms(nullptr, &back, T::CALL), OK);
    ASSERT_EQ(back.number, 2 * (i + 1));
    while (client.has_buffered_event()) {
      ASSERT_EQ(client.rd_response_or_event(nullptr, cmd), OK);
      unsigned modid, ev;
      ASSERT_EQ(client.rd_event(nullptr, modid, ev), OK);
      T::IntBinary got{};
      ASSERT_EQ(client.rd_parms(nullptr, &got, T::CALL), OK);
      EXPECT_EQ(got.number, events);
      ++events;
    }
  }
  serve.join();
  EXPECT_EQ(events, kCalls);
}

}  // namespace

namespace {

// Closing the transport from another thread ends a read that is waiting.
TEST(ClientServer, TerminateEndsAWaitingRead)
{
  std::unique_ptr<Sid::SocketPairTransport> a, b;
  ASSERT_TRUE(Sid::SocketPairTransport::make_pair(a, b));
  BinServer server(nullptr, a.get(), T::kFields);
  Status got = OK;
  std::thread reader([&]() {
    Command cmd;
    got = server.rd_command(nullptr, cmd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  a->terminate();
  reader.join();
  EXPECT_EQ(got, ERR_DECODE);
  EXPECT_EQ(server.wr_response(nullptr, 1), ERR_ENCODE);
}

}  // namespace
