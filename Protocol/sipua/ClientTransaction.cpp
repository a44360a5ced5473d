// Client transactions: requests the stack sends and what becomes of them.

#include "Protocol/sipua/ClientTransaction.h"

#include "Protocol/sipua/Call.h"
#include "Protocol/sipua/Dialog.h"
#include "Protocol/sipua/Registration.h"
#include "Velmora/registry/Trace.h"

#include <cstdio>

namespace sipua {

Transaction* start_client_transaction(Stack& s, MsgPtr req, TxnKind kind) {
  if (!req) return nullptr;
  reset_content_length(req.get());
  osip_transaction_t* tr = nullptr;
  if (osip_transaction_init(&tr, kind == TxnKind::Ict ? ICT : NICT, s.osip, req.get()) != 0 || !tr) {
    GW_TRACE("cannot start a client transaction for %s\n", req->sip_method ? req->sip_method : "?");
    return nullptr;
  }
  Transaction* t = add_transaction(s, tr, kind, req.get());
  osip_event_t* ev = osip_new_outgoing_sipmessage(req.release());
  ev->transactionid = tr->transactionid;
  osip_transaction_add_event(tr, ev);
  return t;
}

int send_cancel(Stack& s, Transaction& invite) {
  const osip_message_t* inv = invite.request.get();
  if (!inv) return OSIP_BADPARAMETER;
  MsgPtr m = new_request(s, "CANCEL", inv->req_uri);
  if (!m) return OSIP_UNDEFINED_ERROR;
  // Same Via (branch included), From, To, Call-ID, CSeq number and Route as the INVITE.
  while (osip_list_size(&m->vias) > 0) {
    auto* via = static_cast<osip_via_t*>(osip_list_get(&m->vias, 0));
    osip_list_remove(&m->vias, 0);
    osip_via_free(via);
  }
  osip_via_t* via = nullptr;
  if (osip_via_clone(static_cast<osip_via_t*>(osip_list_get(&inv->vias, 0)), &via) != 0) return OSIP_UNDEFINED_ERROR;
  osip_list_add(&m->vias, via, -1);
  if (osip_from_clone(inv->from, &m->from) != 0 || osip_to_clone(inv->to, &m->to) != 0 ||
      osip_call_id_clone(inv->call_id, &m->call_id) != 0)
    return OSIP_UNDEFINED_ERROR;
  char cs[64];
  snprintf(cs, sizeof cs, "%ld CANCEL", cseq_number(inv));
  osip_message_set_cseq(m.get(), cs);
  for (int i = 0; i < osip_list_size(&inv->routes); ++i) {
    osip_route_t* copy = nullptr;
    if (osip_from_clone(static_cast<osip_route_t*>(osip_list_get(&inv->routes, i)), &copy) == 0)
      osip_list_add(&m->routes, copy, -1);
  }
  Transaction* t = start_client_transaction(s, std::move(m), TxnKind::Nict);
  if (!t) return OSIP_UNDEFINED_ERROR;
  t->cid = invite.cid;
  invite.cancel_sent = true;
  invite.cancel_pending = false;
  if (Call* c = s.call(invite.cid)) c->tids.push_back(t->tid);
  return OSIP_SUCCESS;
}

static eXosip_event_type_t answer_event(int code, bool in_dialog) {
  int base = in_dialog ? EXOSIP_CALL_MESSAGE_PROCEEDING : EXOSIP_MESSAGE_PROCEEDING;
  int offset = code < 200 ? 0 : code < 300 ? 1 : code < 400 ? 2 : code < 500 ? 3 : code < 600 ? 4 : 5;
  return static_cast<eXosip_event_type_t>(base + offset);
}

// A response (or, with sip null, a time-out or transport error) on a NICT.
static void nict_outcome(Stack& s, Transaction& t, osip_message_t* sip) {
  const osip_message_t* req = t.request.get();
  if (sip) t.last_response = clone_msg(sip);
  if (!sip || sip->status_code >= 200) t.got_final = true;
  if (method_is(req, "REGISTER")) {
    registration_outcome(s, t, sip);
    return;
  }
  if (method_is(req, "CANCEL")) return;
  Dialog* d = t.did ? s.dialog(t.did) : nullptr;
  if (method_is(req, "BYE")) {
    if (!sip || sip->status_code >= 200) {
      if (d) d->terminated = true;
      if (Call* c = s.call(t.cid)) c->finished = true;
    }
    return;
  }
  if (sip && sip->status_code < 200) {
    post_event(s, answer_event(sip->status_code, t.cid != 0), &t, req, sip);
    return;
  }
  post_event(s, answer_event(sip ? sip->status_code : 408, t.cid != 0), &t, req, sip);
  // A request in a dialog answered 481 or timed out: the dialog is gone
  // (RFC 3261 12.2.1.2).
  if (d && (!sip || sip->status_code == 481 || sip->status_code == 408)) {
    GW_TRACE("dialog %d gone (%d)\n", d->did, sip ? sip->status_code : 408);
    d->terminated = true;
    d->ok_pending = false;
    if (Call* c = s.call(t.cid)) c->finished = true;
  }
}

static Transaction* record_of(osip_transaction_t* tr, Stack*& s) {
  s = stack_of(tr);
  return s ? s->txn(tr->transactionid) : nullptr;
}

static void on_ict_message(int, osip_transaction_t* tr, osip_message_t* sip) {
  Stack* s = nullptr;
  if (Transaction* t = record_of(tr, s)) invite_outcome(*s, *t, sip);
}

static void on_ict_timeout(int, osip_transaction_t* tr, osip_message_t*) {
  Stack* s = nullptr;
  if (Transaction* t = record_of(tr, s)) invite_outcome(*s, *t, nullptr);
}

static void on_nict_message(int, osip_transaction_t* tr, osip_message_t* sip) {
  Stack* s = nullptr;
  if (Transaction* t = record_of(tr, s)) nict_outcome(*s, *t, sip);
}

static void on_nict_timeout(int, osip_transaction_t* tr, osip_message_t*) {
  Stack* s = nullptr;
  if (Transaction* t = record_of(tr, s)) nict_outcome(*s, *t, nullptr);
}

static void on_transport_error(int type, osip_transaction_t* tr, int) {
  Stack* s = nullptr;
  Transaction* t = record_of(tr, s);
  if (!t || t->got_final) return;
  GW_TRACE("transport error on transaction %d\n", t->tid);
  if (type == OSIP_ICT_TRANSPORT_ERROR) invite_outcome(*s, *t, nullptr);
  if (type == OSIP_NICT_TRANSPORT_ERROR) nict_outcome(*s, *t, nullptr);
}

void install_client_callbacks(osip_t* osip) {
  const int ict[] = {OSIP_ICT_STATUS_1XX_RECEIVED, OSIP_ICT_STATUS_2XX_RECEIVED, OSIP_ICT_STATUS_3XX_RECEIVED,
                     OSIP_ICT_STATUS_4XX_RECEIVED, OSIP_ICT_STATUS_5XX_RECEIVED, OSIP_ICT_STATUS_6XX_RECEIVED};
  for (int type : ict) osip_set_message_callback(osip, type, &on_ict_message);
  osip_set_message_callback(osip, OSIP_ICT_STATUS_TIMEOUT, &on_ict_timeout);
  const int nict[] = {OSIP_NICT_STATUS_1XX_RECEIVED, OSIP_NICT_STATUS_2XX_RECEIVED, OSIP_NICT_STATUS_3XX_RECEIVED,
                      OSIP_NICT_STATUS_4XX_RECEIVED, OSIP_NICT_STATUS_5XX_RECEIVED, OSIP_NICT_STATUS_6XX_RECEIVED};
  for (int type : nict) osip_set_message_callback(osip, type, &on_nict_message);
  osip_set_message_callback(osip, OSIP_NICT_STATUS_TIMEOUT, &on_nict_timeout);
  for (int type = 0; type < OSIP_TRANSPORT_ERROR_CALLBACK_COUNT; ++type)
    osip_set_transport_error_callback(osip, type, &on_transport_error);
}

}  // namespace sipua
