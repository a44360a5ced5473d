// Server transactions: answers to what peers ask.
//
// Every request gets a final answer: from the application, or from the stack
// when the application frees the request's event unanswered (answer_unanswered):
//   INVITE          480 (unless the application already sent a 1xx and will
//                   answer later)
//   re-INVITE       200 with the SDP last sent in the dialog (488 without one)
//   BYE             200
//   INFO, OPTIONS, MESSAGE, NOTIFY   200
// Requests outside any dialog that need one get 481, methods the stack does
// not handle 501, both at once without an event.

#include "Protocol/sipua/ServerTransaction.h"

#include "Protocol/sipua/Dialog.h"
#include "Protocol/sipua/Transport.h"
#include "Velmora/registry/Trace.h"

namespace sipua {

Transaction* start_server_transaction(Stack& s, osip_event_t* evt, TxnKind kind) {
  osip_transaction_t* tr = nullptr;
  if (osip_transaction_init(&tr, kind == TxnKind::Ist ? IST : NIST, s.osip, evt->sip) != 0 || !tr) {
    GW_TRACE("cannot start a server transaction for %s\n", evt->sip->sip_method);
    respond_stateless(s, evt->sip, 500);
    osip_event_free(evt);
    return nullptr;
  }
  Transaction* t = add_transaction(s, tr, kind, evt->sip);
  evt->transactionid = tr->transactionid;
  osip_transaction_add_event(tr, evt);
  return t;
}

MsgPtr build_server_answer(Stack& s, Transaction& t, int code) {
  std::string tag;
  Call* c = t.cid ? s.call(t.cid) : nullptr;
  if (c && !c->local_tag.empty()) {
    tag = c->local_tag;
  } else {
    if (t.local_tag.empty()) t.local_tag = random_hex(10);
    tag = t.local_tag;
  }
  return build_response(s, t.request.get(), code, tag);
}

Transaction* answerable(Stack& s, int tid) {
  Transaction* t = s.txn(tid);
  if (!t || !t->tr || (t->kind != TxnKind::Ist && t->kind != TxnKind::Nist) || t->final_sent) return nullptr;
  return t;
}

int send_server_response(Stack& s, Transaction& t, MsgPtr answer) {
  if (!answer) return OSIP_BADPARAMETER;
  if (!t.tr || t.final_sent) return OSIP_WRONG_STATE;
  int code = answer->status_code;
  if (code < 100 || code > 699) return OSIP_BADPARAMETER;
  reset_content_length(answer.get());
  Dialog* d = t.did ? s.dialog(t.did) : nullptr;
  if (t.kind == TxnKind::Ist && code > 100 && code < 300) {
    osip_contact_t* contact = nullptr;
    if (osip_message_get_contact(answer.get(), 0, &contact) < 0) {
      std::string user;
      if (t.request->to && t.request->to->url && t.request->to->url->username) user = t.request->to->url->username;
      std::string host = t.request->from && t.request->from->url && t.request->from->url->host
                             ? t.request->from->url->host : "";
      osip_message_set_contact(answer.get(), own_contact(s, user, host).c_str());
    }
  }
  if (code >= 200) t.final_sent = true;
  if (code > 100) t.app_answered = true;
  Call* c = t.cid ? s.call(t.cid) : nullptr;
  if (t.kind == TxnKind::Ist && c) {
    bool initial = t.tid == c->invite_tid;
    if (code >= 200 && code < 300 && d) {
      d->confirmed = true;
      std::string body = first_body(answer.get());
      if (!body.empty()) d->local_sdp = body;
      start_ok_retransmission(s, *d, answer.get());
    } else if (code >= 300 && initial) {
      c->finished = true;
    }
  }
  t.last_response = clone_msg(answer.get());
  osip_event_t* ev = osip_new_outgoing_sipmessage(answer.release());
  if (!ev) return OSIP_NOMEM;
  ev->transactionid = t.tid;
  osip_transaction_add_event(t.tr, ev);
  return OSIP_SUCCESS;
}

int respond(Stack& s, Transaction& t, int code) {
  MsgPtr r = build_server_answer(s, t, code);
  if (!r) return OSIP_UNDEFINED_ERROR;
  return send_server_response(s, t, std::move(r));
}

void reject(Stack& s, osip_event_t* evt, int code) {
  bool invite = evt->sip && evt->sip->sip_method && strcmp(evt->sip->sip_method, "INVITE") == 0;
  Transaction* t = start_server_transaction(s, evt, invite ? TxnKind::Ist : TxnKind::Nist);
  if (t) respond(s, *t, code);
}

void respond_stateless(Stack& s, const osip_message_t* req, int code) {
  std::string tag = random_hex(10);
  MsgPtr r = build_response(s, req, code, tag);
  if (!r) return;
  char* host = nullptr;
  int port = 5060;
  osip_response_get_destination(r.get(), &host, &port);
  if (!host) return;
  std::string h = host;
  osip_free(host);
  send_message(s, r.get(), h, port);
}

void on_cancel(Stack& s, osip_event_t* evt) {
  std::string branch = top_branch(evt->sip);
  std::string callid = call_id_text(evt->sip);
  Transaction* invite = nullptr;
  for (auto& [tid, t] : s.txns) {
    if (t->kind == TxnKind::Ist && t->tr && top_branch(t->request.get()) == branch &&
        call_id_text(t->request.get()) == callid) {
      invite = t.get();
      break;
    }
  }
  Transaction* ct = start_server_transaction(s, evt, TxnKind::Nist);
  if (!ct) return;
  if (!invite) {
    GW_TRACE("CANCEL matches no INVITE: 481\n");
    respond(s, *ct, 481);
    return;
  }
  ct->cid = invite->cid;
  ct->did = invite->did;
  if (Call* c = s.call(invite->cid)) c->tids.push_back(ct->tid);
  respond(s, *ct, 200);
  process(s);  // the 200 to the CANCEL leaves before the 487
  if (invite->final_sent) return;  // too late: the INVITE stands as answered
  respond(s, *invite, 487);
  post_event(s, EXOSIP_CALL_CANCELLED, invite, ct->request.get(), nullptr);
}

void answer_unanswered(Stack& s, const eXosip_event_t* e) {
  if (!e || e->tid <= 0) return;
  int type = e->type;
  if (type != EXOSIP_CALL_INVITE && type != EXOSIP_CALL_REINVITE && type != EXOSIP_CALL_CLOSED &&
      type != EXOSIP_CALL_MESSAGE_NEW && type != EXOSIP_MESSAGE_NEW)
    return;
  Transaction* t = answerable(s, e->tid);
  if (!t) return;
  if (type == EXOSIP_CALL_INVITE) {
    if (t->app_answered) return;  // a 1xx went out: the final answer comes later
    GW_TRACE("INVITE left unanswered: 480\n");
    respond(s, *t, 480);
  } else if (type == EXOSIP_CALL_REINVITE) {
    Dialog* d = t->did ? s.dialog(t->did) : nullptr;
    if (!d || d->local_sdp.empty()) {
      respond(s, *t, 488);
    } else {
      MsgPtr r = build_server_answer(s, *t, 200);
      if (!r) return;
      osip_message_set_body(r.get(), d->local_sdp.c_str(), d->local_sdp.size());
      osip_message_set_content_type(r.get(), "application/sdp");
      send_server_response(s, *t, std::move(r));
    }
  } else {
    respond(s, *t, 200);
  }
  process(s);
}

}  // namespace sipua
