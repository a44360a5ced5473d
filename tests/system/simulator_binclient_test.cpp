// The simulator against a client written on the project's BinClient: the
// gateway's end of a session (TLS server role with a throw-away token,
// the handshake, calls, property requests and the runtime's events and
// property changes), so the simulator's codec and the protocol library are
// checked against each other. Runs in its own network namespace.

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "VoiceHost/sid/protocol/BinClient.h"
#include "VoiceHost/sid/protocol/Field.h"
#include "VoiceHost/sid/protocol/FieldHelpers.h"
#include "VoiceHost/sid/protocol/TransportInterface.h"
#include "VoiceHost/sid/types/SEIntList.h"
#include "VoiceHost/sid/types/SEString.h"
#include "tests/system/SimProcess.h"

extern char** environ;

namespace {

using namespace Sid::Protocol;
using Sid::Field;
namespace H = Sid::FieldHelpers;

constexpr int kPort = 9200;

// ---- descriptor tables of the calls this client makes ----

struct OneBool { bool v; };
struct OneString { SEString v; };
struct OneOid { unsigned v; };
struct Login { unsigned oid; SEString password; bool save; bool local; };
struct ListChange { unsigned conv; unsigned type; bool added; };
struct OidList { SEIntList v; };

template <class T>
constexpr Field::EqualsDefault eq = &H::equals_default<T>;
template <class T>
constexpr Field::SetDefault set = &H::set_default<T>;
bool true_is_default(const void* v) { return *static_cast<const bool*>(v); }
void set_true(void* v) { *static_cast<bool*>(v) = true; }

enum : uint16_t {
  BOOL_RES = 0,     // {1 'b'}
  STRING_PAR = 1,   // {1 'S'}
  OID_RES = 2,      // {1 'O'}
  LOGIN_PAR = 3,    // {0 'O', 1 'S', 2 'b', 3 'b' default true}
  LIST_CHANGE = 7,  // {1 'O', 2 'e', 3 'b'}
  OID_LIST = 10,    // {1 list of 'O'}
  P_ENUM = 12, P_STRING = 13, P_UINT = 14,
  TABLE_END = 15,
};

const Field kFields[TABLE_END] = {
    Field::first(1, 'b', BOOL_RES + 1, eq<bool>, set<bool>),
    Field::first(1, 'S', STRING_PAR + 1, eq<SEString>, set<SEString>),
    Field::first(1, 'O', OID_RES + 1, eq<unsigned>, set<unsigned>),
    Field::first(0, 'O', LOGIN_PAR + 4, eq<unsigned>, set<unsigned>),
    Field::field(1, 'S', offsetof(Login, password), eq<SEString>, set<SEString>),
    Field::field(2, 'b', offsetof(Login, save), eq<bool>, set<bool>),
    Field::field(3, 'b', offsetof(Login, local), &true_is_default, &set_true),
    Field::first(1, 'O', LIST_CHANGE + 3, eq<unsigned>, set<unsigned>),
    Field::field(2, 'e', offsetof(ListChange, type), eq<unsigned>, set<unsigned>),
    Field::field(3, 'b', offsetof(ListChange, added), eq<bool>, set<bool>),
    Field::first(1, 'O', OID_LIST + 2, eq<SEIntList>, set<SEIntList>, true),
    H::list_helper<SEIntList>(),
    Field::first(0, 'e', P_ENUM + 1, eq<unsigned>, set<unsigned>),
    Field::first(0, 'S', P_STRING + 1, eq<SEString>, set<SEString>),
    Field::first(0, 'u', P_UINT + 1, eq<unsigned>, set<unsigned>),
};

// ---- a TLS transport, the gateway being the TLS server ----

struct Tls {
  SSL_CTX* ctx = nullptr;
  SSL* ssl = nullptr;
  int fd = -1;
  ~Tls() {
    if (ssl) SSL_free(ssl);
    if (ctx) SSL_CTX_free(ctx);
    if (fd >= 0) close(fd);
  }
};

// A throw-away certificate and key, as the application token holds them.
bool make_token(SSL_CTX* ctx) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  bool ok = key && cert;
  if (ok) {
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("velmora-test"), -1,
                               -1, 0);
    X509_set_issuer_name(cert, name);
    ok = X509_sign(cert, key, EVP_sha256()) > 0 && SSL_CTX_use_certificate(ctx, cert) == 1 &&
         SSL_CTX_use_PrivateKey(ctx, key) == 1;
  }
  X509_free(cert);
  EVP_PKEY_free(key);
  return ok;
}

class TlsTransport : public Sid::TransportInterface {
public:
  explicit TlsTransport(SSL* ssl) : m_ssl(ssl) {}
  Status bl_start_decoding(Sid::CommandInitiator*) override { return OK; }
  Status bl_read_bytes(Sid::CommandInitiator*, unsigned n, char* dest) override {
    char scratch[256];
    while (n) {
      int want = dest ? static_cast<int>(n) : static_cast<int>(std::min<unsigned>(n, sizeof scratch));
      int r = SSL_read(m_ssl, dest ? dest : scratch, want);
      if (r <= 0) return ERR_READ;
      n -= static_cast<unsigned>(r);
      if (dest) dest += r;
    }
    return OK;
  }
  Status end_decoding(Sid::CommandInitiator*) override { return OK; }
  Status bl_start_encoding(Sid::CommandInitiator*) override {
    m_out.clear();
    return OK;
  }
  Status bl_write_bytes(Sid::CommandInitiator*, unsigned n, const char* src) override {
    m_out.append(src, n);
    return OK;
  }
  Status end_encoding(Sid::CommandInitiator*, bool) override {
    int r = m_out.empty() ? 1 : SSL_write(m_ssl, m_out.data(), static_cast<int>(m_out.size()));
    m_out.clear();
    return r > 0 ? OK : ERR_WRITE;
  }
  Status terminate() override { return OK; }

private:
  SSL* m_ssl;
  std::string m_out;
};

// One property or event as the client read it.
struct Prop {
  unsigned module, oid, prop;
  unsigned char kind;
  unsigned num = 0;
  std::string str;
};

class Client {
public:
  bool open(std::string& handshake_reply) {
    m_tls.ctx = SSL_CTX_new(TLS_server_method());
    if (!m_tls.ctx || !make_token(m_tls.ctx)) return false;
    for (int n = 0; n < 100 && m_tls.fd < 0; ++n) {
      int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(kPort);
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        m_tls.fd = fd;
        break;
      }
      close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    timeval tv{5, 0};
    setsockopt(m_tls.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    m_tls.ssl = SSL_new(m_tls.ctx);
    SSL_set_fd(m_tls.ssl, m_tls.fd);
    if (SSL_accept(m_tls.ssl) != 1) return false;
    if (SSL_write(m_tls.ssl, "00000000", 8) != 8) return false;
    char reply[2];
    if (SSL_read(m_tls.ssl, reply, 1) != 1 || SSL_read(m_tls.ssl, reply + 1, 1) != 1) return false;
    handshake_reply.assign(reply, 2);
    m_transport = std::make_unique<TlsTransport>(m_tls.ssl);
    m_proto = std::make_unique<BinClient>(m_transport.get(), kFields);
    return true;
  }

  BinClient& proto() { return *m_proto; }

  // Reads messages until the reply to `rid` starts; property changes and
  // events met on the way are collected. False on an error or another reply.
  bool until_reply(unsigned rid) {
    for (;;) {
      Command cmd;
      if (m_proto->rd_response_or_event(nullptr, cmd) != OK) return false;
      if (cmd == CMD_XREPLY) {
        unsigned got;
        return m_proto->rd_response_id(nullptr, got) == OK && got == rid;
      }
      if (!other(cmd)) return false;
    }
  }

  // Reads one message that is not a reply; false on anything else.
  bool next() {
    Command cmd;
    return m_proto->rd_response_or_event(nullptr, cmd) == OK && other(cmd);
  }

  bool read_props(std::vector<Prop>& out) {
    for (;;) {
      Prop p{};
      Status s = m_proto->rd_property(nullptr, p.module, p.oid, p.prop, p.kind);
      if (s == COMPLETED) return true;
      if (s != OK) return false;
      if (p.kind == 'S' || p.kind == 'X') {
        SEString v;
        if (m_proto->rd_value(p.kind, nullptr, &v, P_STRING) != OK) return false;
        p.str = v.data() ? v.data() : "";
      } else if (p.kind == 'e' || p.kind == 'u' || p.kind == 'O') {
        if (m_proto->rd_value(p.kind, nullptr, &p.num, P_UINT) != OK) return false;
      } else if (p.kind == 'T' || p.kind == 'F') {
        bool b;
        if (m_proto->rd_value(p.kind, nullptr, &b, P_UINT) != OK) return false;
        p.num = b;
      } else if (p.kind != 'N') {
        return false;
      }
      out.push_back(p);
    }
  }

  std::vector<Prop> changes;
  std::vector<std::pair<unsigned, unsigned>> events;  // (module, event)
  std::vector<ListChange> list_changes;

private:
  bool other(Command cmd) {
    if (cmd == CMD_PROPCHANGE) return read_props(changes);
    if (cmd == CMD_EVENT) {
      unsigned module, ev;
      if (m_proto->rd_event(nullptr, module, ev) != OK) return false;
      events.emplace_back(module, ev);
      if (module == 0 && ev == 4) {
        ListChange lc{};
        if (m_proto->rd_parms(nullptr, &lc, LIST_CHANGE) != OK) return false;
        list_changes.push_back(lc);
        return true;
      }
      return m_proto->sk_parms(nullptr) == OK;
    }
    return false;
  }

  Tls m_tls;
  std::unique_ptr<TlsTransport> m_transport;
  std::unique_ptr<BinClient> m_proto;
};

const char kStart[] = {'Z', 'R', 0x00, static_cast<char>(0x91), 0x01};
const char kGetAccount[] = {'Z', 'R', 0x00, 115};
const char kLogin[] = {'Z', 'R', 0x05, 0x06};
const char kConvList[] = {'Z', 'R', 0x00, 18};
const char kUnknown[] = {'Z', 'R', 0x00, 99};

unsigned login(Client& c, const char* password) {
  unsigned rid;
  EXPECT_EQ(c.proto().wr_call(nullptr, kStart, sizeof kStart, rid), OK);
  EXPECT_TRUE(c.until_reply(rid));
  OneBool started{false};
  EXPECT_EQ(c.proto().rd_parms(nullptr, &started, BOOL_RES), OK);
  EXPECT_TRUE(started.v);

  SEString name("alice");
  EXPECT_EQ(c.proto().wr_call_lst(nullptr, kGetAccount, sizeof kGetAccount, rid, STRING_PAR, &name), OK);
  EXPECT_TRUE(c.until_reply(rid));
  OneOid account{0};
  EXPECT_EQ(c.proto().rd_parms(nullptr, &account, OID_RES), OK);
  EXPECT_NE(account.v, 0u);

  Login l{account.v, password, false, true};
  EXPECT_EQ(c.proto().wr_call(nullptr, kLogin, sizeof kLogin, rid, &l, LOGIN_PAR), OK);
  EXPECT_TRUE(c.until_reply(rid));
  EXPECT_EQ(c.proto().rd_parms(nullptr), OK);
  return account.v;
}

std::vector<unsigned> statuses(const Client& c, unsigned oid) {
  std::vector<unsigned> out;
  for (const auto& p : c.changes)
    if (p.module == 5 && p.oid == oid && p.prop == 70) out.push_back(p.num);
  return out;
}

}  // namespace

TEST(SimulatorBinClient, HandshakeLoginPropertiesAndErrors) {
  simtest::TempDir dir("binclient-login");
  simtest::SimProcess sim(dir.path(), "alice", kPort, "balance = 321\n");
  ASSERT_GT(sim.pid(), 0);
  Client c;
  std::string ok;
  ASSERT_TRUE(c.open(ok));
  EXPECT_EQ(ok, "OK");
  unsigned oid = login(c, "anything");
  while (statuses(c, oid).size() < 2) ASSERT_TRUE(c.next());
  EXPECT_EQ(statuses(c, oid), (std::vector<unsigned>{5, 7}));

  // Three properties of the account in one request, one of them unmodelled.
  ASSERT_EQ(c.proto().begin_get_request(nullptr, 5, oid, 70), OK);
  ASSERT_EQ(c.proto().add_get_property(nullptr, 5, oid, 75), OK);
  ASSERT_EQ(c.proto().add_get_property(nullptr, 5, oid, 7), OK);
  ASSERT_EQ(c.proto().end_get_property(nullptr), OK);
  Command cmd;
  ASSERT_EQ(c.proto().rd_response_or_event(nullptr, cmd), OK);
  ASSERT_EQ(cmd, CMD_GET_REPLY);
  std::vector<Prop> got;
  ASSERT_TRUE(c.read_props(got));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].prop, 70u);
  EXPECT_EQ(got[0].kind, 'e');
  EXPECT_EQ(got[0].num, 7u);
  EXPECT_EQ(got[1].num, 321u);
  EXPECT_EQ(got[2].kind, 'N');

  // An unknown method: the error response, then the session goes on.
  unsigned rid;
  ASSERT_EQ(c.proto().wr_call(nullptr, kUnknown, sizeof kUnknown, rid), OK);
  ASSERT_TRUE(c.until_reply(rid));
  EXPECT_EQ(c.proto().rd_parms(nullptr), ERR_CALL);
  EXPECT_EQ(c.proto().resync_decode(nullptr), OK);
  ASSERT_EQ(c.proto().wr_call(nullptr, kConvList, sizeof kConvList, rid), OK);
  ASSERT_TRUE(c.until_reply(rid));
  OidList list;
  EXPECT_EQ(c.proto().rd_parms(nullptr, &list, OID_LIST), OK);
  EXPECT_EQ(list.v.size(), 0u);
}

TEST(SimulatorBinClient, WrongPasswordAndIncomingCall) {
  simtest::TempDir dir("binclient-call");
  simtest::SimProcess sim(dir.path(), "alice", kPort, "password = right\n");
  Client c;
  std::string ok;
  ASSERT_TRUE(c.open(ok));
  unsigned oid = login(c, "wrong");
  while (statuses(c, oid).size() < 2) ASSERT_TRUE(c.next());
  EXPECT_EQ(statuses(c, oid).back(), 1u);
  bool reason = false;
  for (const auto& p : c.changes) reason |= p.prop == 73 && p.num == 14;
  EXPECT_TRUE(reason);

  unsigned rid;
  Login l{oid, "right", false, true};
  ASSERT_EQ(c.proto().wr_call(nullptr, kLogin, sizeof kLogin, rid, &l, LOGIN_PAR), OK);
  ASSERT_TRUE(c.until_reply(rid));
  ASSERT_EQ(c.proto().rd_parms(nullptr), OK);
  while (statuses(c, oid).back() != 7) ASSERT_TRUE(c.next());

  EXPECT_EQ(sim.control("call bob").rfind("OK call=1", 0), 0u);
  while (c.list_changes.empty()) ASSERT_TRUE(c.next());
  const ListChange& lc = c.list_changes[0];
  EXPECT_EQ(lc.type, 3u);
  EXPECT_TRUE(lc.added);
  bool ringing = false, debuginfo = false;
  for (const auto& p : c.changes) {
    ringing |= p.module == 18 && p.oid == lc.conv && p.prop == 927 && p.num == 2;
    debuginfo |= p.module == 19 && p.prop == 942 && p.str.find("ObjID: ") != std::string::npos;
  }
  EXPECT_TRUE(ringing);
  EXPECT_TRUE(debuginfo);
}
