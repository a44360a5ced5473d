#ifndef VELMORA_SIPUA_STACK_H
#define VELMORA_SIPUA_STACK_H

// The state of the user agent: one Stack object, created by eXosip_init, with
// the records of transactions, dialogs, calls and registrations, all guarded
// by one recursive lock (the transport thread and every public operation take
// it; eXosip_lock takes it for the caller).

#include "Protocol/sipua/EventQueue.h"
#include "Protocol/sipua/Message.h"
#include "Protocol/sipua/OsipIncludes.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sipua {

using Clock = std::chrono::steady_clock;
using Lock = std::lock_guard<std::recursive_mutex>;

// Bounds that keep what a peer can make the stack hold finite.
constexpr size_t kMaxTransactions = 4096;
constexpr size_t kMaxCalls = 512;
constexpr size_t kMaxRegistrations = 256;
constexpr size_t kMaxCredentials = 256;
// How long a finished call is kept, so that a challenge to its INVITE can
// still be answered with credentials.
constexpr std::chrono::seconds kCallLinger{4};

enum class TxnKind { Ict, Ist, Nict, Nist };

struct Transaction {
  int tid = 0;
  TxnKind kind = TxnKind::Nist;
  osip_transaction_t* tr = nullptr;  // null once libosip2 has ended the transaction
  int cid = 0, did = 0, rid = 0;
  MsgPtr request;                    // copy of the request
  MsgPtr last_response;              // copy of the last response sent or received
  std::string local_tag;             // To tag of our answers outside dialogs
  bool final_sent = false;           // server: a final response went out
  bool app_answered = false;         // server: the application answered (1xx or final)
  bool got_provisional = false;      // client INVITE: a 1xx arrived
  bool cancel_pending = false;       // client INVITE: CANCEL waits for a 1xx
  bool cancel_sent = false;
  bool got_final = false;            // client: a final response (or time-out) arrived
};

struct Dialog {
  int did = 0;
  int cid = 0;
  osip_dialog_t* d = nullptr;
  bool uac = false;
  bool confirmed = false;
  bool terminated = false;
  // Our 2xx to an INVITE, re-sent until its ACK arrives (RFC 3261 13.3.1.4).
  bool ok_pending = false;
  std::string ok_text, ok_host;
  int ok_port = 0, ok_cseq = 0, ok_interval_ms = 0;
  Clock::time_point ok_next, ok_deadline;
  // The ACK we sent to a 2xx, re-sent when that 2xx comes again.
  std::string ack_text, ack_host;
  int ack_port = 0, ack_cseq = 0;
  std::string local_sdp;  // the last SDP we sent in the dialog
  Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;
  ~Dialog() {
    if (d) osip_dialog_free(d);
  }
};

struct Call {
  int cid = 0;
  bool outgoing = false;
  int invite_tid = 0;          // current INVITE (initial, or re-sent with credentials)
  int did = 0;                 // its dialog, 0 before one exists
  bool app_terminated = false; // the application asked to end it
  bool finished = false;       // no dialog will come of the INVITE, or the dialog ended
  std::optional<Clock::time_point> over_since;  // when it finished
  std::string local_tag;       // incoming call: our To tag
  std::vector<int> tids;
};

struct Registration {
  int rid = 0;
  std::string from, proxy, contact;
  int expires = 3600;
  std::string call_id, from_tag;
  unsigned cseq = 0;
  MsgPtr last_sent;            // the last REGISTER sent
  MsgPtr last_challenge;       // last 401/407 answer
  int pending_tid = 0;         // REGISTER waiting for its final response
  bool registered = false;
  Clock::time_point sent_at, refresh_at;
  unsigned nc = 0;             // nonce count of the digest answers
};

struct Credential {
  std::string username, userid, password, realm;
};

// Where outgoing datagrams go when a sink is set (tests and the fuzzer).
using SendSink = std::function<void(const std::string& text, const std::string& host, int port)>;

class Stack {
 public:
  std::recursive_mutex mu;
  osip_t* osip = nullptr;
  int sock = -1;
  std::string local_ip = "127.0.0.1";
  int local_port = 5060;
  std::string user_agent = "Velmora";
  SendSink sink;

  std::map<int, std::unique_ptr<Transaction>> txns;
  std::map<int, std::unique_ptr<Dialog>> dialogs;
  std::map<int, std::unique_ptr<Call>> calls;
  std::map<int, std::unique_ptr<Registration>> regs;
  std::vector<Credential> creds;
  std::vector<osip_transaction_t*> dead;  // ended by libosip2, freed after the pass
  int next_did = 1, next_cid = 1, next_rid = 1;

  EventQueue events;

  std::thread worker;
  std::atomic<bool> stopping{false};

  Stack() = default;
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;
  ~Stack();

  Transaction* txn(int tid);
  Dialog* dialog(int did);
  Call* call(int cid);
  Registration* reg(int rid);
};

// The stack, or null before eXosip_init.
Stack* stack();
// The stack that owns a libosip2 transaction (for libosip2's callbacks).
Stack* stack_of(osip_transaction_t* tr);

// Runs libosip2's timers and state machines until they are idle, re-sends
// unacknowledged 2xx, frees ended transactions and releases finished calls.
// Caller holds the lock.
void process(Stack& s);

// Records a transaction that libosip2 created (it now manages it) and ties it
// to our record. Returns the record.
Transaction* add_transaction(Stack& s, osip_transaction_t* tr, TxnKind kind, const osip_message_t* req);

// Queues an event built from a transaction record (ids) and copies of the
// messages. Returns false when the queue is full.
bool post_event(Stack& s, eXosip_event_type_t type, const Transaction* t, const osip_message_t* req,
                const osip_message_t* resp, int did = -1, int cid = -1);

}  // namespace sipua

#endif
