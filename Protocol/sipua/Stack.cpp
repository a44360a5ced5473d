// The stack object, its life (init, socket, quit), the processing pass that
// drives libosip2, and the release of what has ended.

#include "Protocol/sipua/Stack.h"

#include "Protocol/sipua/ClientTransaction.h"
#include "Protocol/sipua/Dialog.h"
#include "Protocol/sipua/Transport.h"
#include "Velmora/registry/Trace.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <arpa/inet.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace sipua {

static std::unique_ptr<Stack> g_stack;
static std::mutex g_life;  // guards creation and destruction of g_stack

Stack* stack() { return g_stack.get(); }

Transaction* Stack::txn(int tid) {
  auto it = txns.find(tid);
  return it == txns.end() ? nullptr : it->second.get();
}
Dialog* Stack::dialog(int did) {
  auto it = dialogs.find(did);
  return it == dialogs.end() ? nullptr : it->second.get();
}
Call* Stack::call(int cid) {
  auto it = calls.find(cid);
  return it == calls.end() ? nullptr : it->second.get();
}
Registration* Stack::reg(int rid) {
  auto it = regs.find(rid);
  return it == regs.end() ? nullptr : it->second.get();
}

Stack* stack_of(osip_transaction_t* tr) {
  if (!tr || !tr->config) return nullptr;
  return static_cast<Stack*>(osip_get_application_context(static_cast<osip_t*>(tr->config)));
}

Stack::~Stack() {
  stopping = true;
  if (worker.joinable()) worker.join();
  events.clear();
  dialogs.clear();
  if (osip) {
    for (osip_transaction_t* tr : dead) osip_transaction_free(tr);
    dead.clear();
    osip_list_t* lists[] = {&osip->osip_ict_transactions, &osip->osip_ist_transactions,
                            &osip->osip_nict_transactions, &osip->osip_nist_transactions};
    for (osip_list_t* list : lists) {
      while (osip_list_size(list) > 0) {
        auto* tr = static_cast<osip_transaction_t*>(osip_list_get(list, 0));
        int before = osip_list_size(list);
        osip_transaction_free(tr);
        if (osip_list_size(list) == before) osip_list_remove(list, 0);
      }
    }
    osip_release(osip);
    osip = nullptr;
  }
}

static void on_kill(int, osip_transaction_t* tr) {
  Stack* s = stack_of(tr);
  if (!s) return;
  s->dead.push_back(tr);
  Transaction* t = s->txn(tr->transactionid);
  if (t) t->tr = nullptr;
}

Transaction* add_transaction(Stack& s, osip_transaction_t* tr, TxnKind kind, const osip_message_t* req) {
  auto t = std::make_unique<Transaction>();
  t->tid = tr->transactionid;
  t->kind = kind;
  t->tr = tr;
  t->request = clone_msg(req);
  osip_transaction_set_out_socket(tr, s.sock);
  Transaction* raw = t.get();
  s.txns[t->tid] = std::move(t);
  return raw;
}

bool post_event(Stack& s, eXosip_event_type_t type, const Transaction* t, const osip_message_t* req,
                const osip_message_t* resp, int did, int cid) {
  EventPtr e = new_event(type);
  if (t) {
    e->tid = t->tid;
    e->did = t->did;
    e->cid = t->cid;
    e->rid = t->rid;
  }
  if (did >= 0) e->did = did;
  if (cid >= 0) e->cid = cid;
  if (req) e->request = clone_msg(req).release();
  if (resp) e->response = clone_msg(resp).release();
  bool ok = s.events.push(std::move(e));
  if (!ok) GW_TRACE("event queue full, %s dropped\n", event_type_name(type));
  return ok;
}

// A call is released once nothing of it can still happen: its INVITE failed or
// its dialog ended, every transaction of it has its final answer (libosip2
// goes on absorbing retransmissions without us), and a short while has passed
// in which a challenge can still be answered with credentials.
static void release_finished_calls(Stack& s) {
  auto now = Clock::now();
  for (auto it = s.calls.begin(); it != s.calls.end();) {
    Call& c = *it->second;
    Dialog* d = c.did ? s.dialog(c.did) : nullptr;
    bool over = c.finished || (d && d->terminated);
    if (!over) {
      c.over_since.reset();
      ++it;
      continue;
    }
    if (!c.over_since) c.over_since = now;
    bool busy = (d && d->ok_pending) || now < *c.over_since + kCallLinger;
    for (int tid : c.tids) {
      Transaction* t = s.txn(tid);
      if (!t || !t->tr) continue;
      bool server = t->kind == TxnKind::Ist || t->kind == TxnKind::Nist;
      if (server ? !t->final_sent : !t->got_final) busy = true;
    }
    if (busy) {
      ++it;
      continue;
    }
    post_event(s, EXOSIP_CALL_RELEASED, nullptr, nullptr, nullptr, c.did, c.cid);
    for (int tid : c.tids) s.txns.erase(tid);
    for (auto dit = s.dialogs.begin(); dit != s.dialogs.end();) {
      if (dit->second->cid == c.cid)
        dit = s.dialogs.erase(dit);
      else
        ++dit;
    }
    it = s.calls.erase(it);
  }
}

void process(Stack& s) {
  if (!s.osip) return;
  osip_timers_ict_execute(s.osip);
  osip_timers_ist_execute(s.osip);
  osip_timers_nict_execute(s.osip);
  osip_timers_nist_execute(s.osip);
  // A pass can queue events for other transactions (a CANCEL after a 1xx, a
  // BYE after a late 2xx); a few rounds drain them.
  for (int round = 0; round < 4; ++round) {
    osip_ict_execute(s.osip);
    osip_ist_execute(s.osip);
    osip_nict_execute(s.osip);
    osip_nist_execute(s.osip);
  }
  dialog_timers(s);
  for (osip_transaction_t* tr : s.dead) {
    int tid = tr->transactionid;
    osip_transaction_free(tr);
    Transaction* t = s.txn(tid);
    if (!t) continue;
    // Records go with their transaction, except a call's INVITE transactions,
    // whose messages answer later questions (the SDP of the answer) until the
    // call is released. So a long call with many INFOs does not pile up.
    Call* c = t->cid ? s.call(t->cid) : nullptr;
    if (c && (t->kind == TxnKind::Ict || t->kind == TxnKind::Ist)) continue;
    if (c) c->tids.erase(std::remove(c->tids.begin(), c->tids.end(), tid), c->tids.end());
    s.txns.erase(tid);
  }
  s.dead.clear();
  release_finished_calls(s);
}

}  // namespace sipua

using namespace sipua;

// libosip2's own diagnostics (fatal, bug, error) go to the gateway's trace,
// and so appear only when tracing is on.
static void osip_trace_bridge(const char* file, int line, osip_trace_level_t, const char* fmt, va_list ap) {
  if (!argdebug) return;
  char text[512];
  vsnprintf(text, sizeof text, fmt, ap);
  const char* base = file ? strrchr(file, '/') : nullptr;
  GW_TRACE("libosip2 %s:%d: %s", base ? base + 1 : (file ? file : "?"), line, text);
}

int eXosip_init(void) {
  std::lock_guard<std::mutex> life(g_life);
  if (g_stack) return OSIP_WRONG_STATE;
  osip_trace_initialize_func(OSIP_WARNING, &osip_trace_bridge);
  auto s = std::make_unique<Stack>();
  if (osip_init(&s->osip) != 0) return OSIP_NOMEM;
  osip_set_application_context(s->osip, s.get());
  osip_set_cb_send_message(s->osip, &osip_send_callback);
  for (int type = 0; type < OSIP_KILL_CALLBACK_COUNT; ++type) osip_set_kill_transaction_callback(s->osip, type, &on_kill);
  install_client_callbacks(s->osip);
  g_stack = std::move(s);
  return OSIP_SUCCESS;
}

void eXosip_quit(void) {
  std::lock_guard<std::mutex> life(g_life);
  if (!g_stack) return;
  g_stack->stopping = true;
  if (g_stack->worker.joinable()) g_stack->worker.join();
  g_stack.reset();
}

int eXosip_set_user_agent(const char* user_agent) {
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  s->user_agent = user_agent ? user_agent : "";
  return OSIP_SUCCESS;
}

int eXosip_set_socket(int transport, int sock, int port) {
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  if (transport != IPPROTO_UDP || sock < 0) return OSIP_BADPARAMETER;
  int type = 0;
  socklen_t tlen = sizeof type;
  if (getsockopt(sock, SOL_SOCKET, SO_TYPE, &type, &tlen) != 0 || type != SOCK_DGRAM) return OSIP_BADPARAMETER;
  sockaddr_in me{};
  socklen_t len = sizeof me;
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&me), &len) != 0 || me.sin_family != AF_INET)
    return OSIP_BADPARAMETER;
  char ip[INET_ADDRSTRLEN] = {0};
  inet_ntop(AF_INET, &me.sin_addr, ip, sizeof ip);
  Lock l(s->mu);
  if (s->sock >= 0) return OSIP_WRONG_STATE;
  s->sock = sock;
  s->local_ip = ip;
  s->local_port = ntohs(me.sin_port);
  if (port != s->local_port) GW_TRACE("socket is bound to port %d, not %d\n", s->local_port, port);
  s->worker = std::thread([s] { transport_loop(*s); });
  return OSIP_SUCCESS;
}

void eXosip_lock(void) {
  if (Stack* s = stack()) s->mu.lock();
}

void eXosip_unlock(void) {
  if (Stack* s = stack()) s->mu.unlock();
}
