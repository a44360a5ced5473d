// Call operations: placing, answering, acknowledging and ending calls.

#include "Protocol/sipua/Call.h"

#include "Protocol/sipua/ClientTransaction.h"
#include "Protocol/sipua/Dialog.h"
#include "Protocol/sipua/DigestAuth.h"
#include "Protocol/sipua/ServerTransaction.h"
#include "Velmora/registry/Trace.h"

#include <cstdio>

namespace sipua {

static eXosip_event_type_t failure_event(int code) {
  if (code < 400) return EXOSIP_CALL_REDIRECTED;
  if (code < 500) return EXOSIP_CALL_REQUESTFAILURE;
  if (code < 600) return EXOSIP_CALL_SERVERFAILURE;
  return EXOSIP_CALL_GLOBALFAILURE;
}

void invite_outcome(Stack& s, Transaction& t, osip_message_t* sip) {
  Call* c = s.call(t.cid);
  if (!c) return;
  Dialog* d = c->did ? s.dialog(c->did) : nullptr;
  if (!sip) {
    t.got_final = true;
    if (!d || !d->confirmed) c->finished = true;
    if (!c->app_terminated) post_event(s, EXOSIP_CALL_NOANSWER, &t, t.request.get(), nullptr);
    return;
  }
  int code = sip->status_code;
  t.last_response = clone_msg(sip);
  if (code < 200) {
    t.got_provisional = true;
    if (t.cancel_pending && !t.cancel_sent) send_cancel(s, t);
    if (code > 100) {
      d = uac_dialog(s, *c, sip);
      if (d) t.did = d->did;
    }
    if (!c->app_terminated)
      post_event(s, code == 100 ? EXOSIP_CALL_PROCEEDING : EXOSIP_CALL_RINGING, &t, t.request.get(), sip);
    return;
  }
  t.got_final = true;
  if (code < 300) {
    d = uac_dialog(s, *c, sip);
    if (!d) {
      GW_TRACE("2xx without a usable To tag on call %d\n", c->cid);
      return;
    }
    d->confirmed = true;
    d->ack_cseq = static_cast<int>(cseq_number(sip));
    update_remote_target(*d, sip);
    t.did = d->did;
    if (c->app_terminated) {  // answered after we gave up: ACK, then BYE
      send_ack(s, *d, build_ack(s, *d));
      send_bye(s, *d);
      return;
    }
    post_event(s, EXOSIP_CALL_ANSWERED, &t, t.request.get(), sip);
    return;
  }
  if (!d || !d->confirmed) {
    c->finished = true;
    if (d) d->terminated = true;
  }
  if (!c->app_terminated) post_event(s, failure_event(code), &t, t.request.get(), sip);
}

int resend_invite_with_credentials(Stack& s, Call& c) {
  Transaction* t = s.txn(c.invite_tid);
  if (!t || !t->last_response || c.app_terminated) return OSIP_WRONG_STATE;
  int code = t->last_response->status_code;
  if (code != 401 && code != 407) return OSIP_WRONG_STATE;
  if (!challenge_unanswered(t->request.get(), t->last_response.get())) return OSIP_WRONG_STATE;
  MsgPtr m = clone_msg(t->request.get());
  if (!m) return OSIP_NOMEM;
  while (osip_list_size(&m->vias) > 0) {
    auto* via = static_cast<osip_via_t*>(osip_list_get(&m->vias, 0));
    osip_list_remove(&m->vias, 0);
    osip_via_free(via);
  }
  std::string host;
  int port = 0;
  request_destination(m.get(), host, port);
  if (set_top_via(s, m.get(), host) != 0) return OSIP_UNDEFINED_ERROR;
  char number[24];
  snprintf(number, sizeof number, "%ld", cseq_number(m.get()) + 1);
  osip_free(m->cseq->number);
  m->cseq->number = osip_strdup(number);
  remove_credentials(m.get());
  unsigned nc = 0;
  if (authorize(s, m.get(), t->last_response.get(), nc) != 0) return OSIP_NOTFOUND;
  Transaction* nt = start_client_transaction(s, std::move(m), TxnKind::Ict);
  if (!nt) return OSIP_UNDEFINED_ERROR;
  nt->cid = c.cid;
  c.invite_tid = nt->tid;
  c.tids.push_back(nt->tid);
  c.finished = false;
  if (Dialog* d = c.did ? s.dialog(c.did) : nullptr; d && !d->confirmed) {
    s.dialogs.erase(d->did);
    c.did = 0;
  }
  return OSIP_SUCCESS;
}

}  // namespace sipua

using namespace sipua;

int eXosip_call_build_initial_invite(osip_message_t** invite, const char* to, const char* from, const char* route,
                                     const char* subject) {
  if (!invite || !to || !from) return OSIP_BADPARAMETER;
  *invite = nullptr;
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  osip_to_t* target = nullptr;
  if (osip_to_init(&target) != 0) return OSIP_NOMEM;
  if (osip_to_parse(target, to) != 0 || !target->url || !target->url->host) {
    osip_to_free(target);
    return OSIP_SYNTAXERROR;
  }
  MsgPtr m = new_request(*s, "INVITE", target->url);
  std::string host = target->url->host;
  osip_to_free(target);
  if (!m) return OSIP_SYNTAXERROR;
  if (osip_message_set_to(m.get(), to) != 0 || osip_message_set_from(m.get(), from) != 0 || !m->from ||
      !m->from->url)
    return OSIP_SYNTAXERROR;
  osip_from_set_tag(m->from, osip_strdup(random_hex(10).c_str()));
  std::string callid = random_hex(24) + "@" + local_ip_toward(*s, host);
  osip_message_set_call_id(m.get(), callid.c_str());
  osip_message_set_cseq(m.get(), "20 INVITE");
  if (route && *route && osip_message_set_route(m.get(), route) != 0) return OSIP_SYNTAXERROR;
  std::string user = m->from->url->username ? m->from->url->username : "";
  osip_message_set_contact(m.get(), own_contact(*s, user, host).c_str());
  if (subject && *subject) osip_message_set_header(m.get(), "Subject", subject);
  osip_message_set_header(m.get(), "Allow", "INVITE, ACK, CANCEL, BYE, INFO, MESSAGE, OPTIONS");
  *invite = m.release();
  return OSIP_SUCCESS;
}

int eXosip_call_send_initial_invite(osip_message_t* invite) {
  MsgPtr m(invite);
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  if (!m || !method_is(m.get(), "INVITE") || !m->call_id || !m->from || !m->to) return OSIP_BADPARAMETER;
  Lock l(s->mu);
  if (s->calls.size() >= kMaxCalls) return OSIP_NOMEM;
  auto c = std::make_unique<Call>();
  c->cid = s->next_cid++;
  c->outgoing = true;
  Transaction* t = start_client_transaction(*s, std::move(m), TxnKind::Ict);
  if (!t) return OSIP_UNDEFINED_ERROR;
  t->cid = c->cid;
  c->invite_tid = t->tid;
  c->tids.push_back(t->tid);
  int cid = c->cid;
  s->calls[cid] = std::move(c);
  process(*s);
  return cid;
}

int eXosip_call_build_answer(int tid, int status, osip_message_t** answer) {
  if (!answer || status < 101 || status > 699) return OSIP_BADPARAMETER;
  *answer = nullptr;
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Transaction* t = answerable(*s, tid);
  if (!t) return OSIP_NOTFOUND;
  MsgPtr r = build_server_answer(*s, *t, status);
  if (!r) return OSIP_UNDEFINED_ERROR;
  *answer = r.release();
  return OSIP_SUCCESS;
}

int eXosip_call_send_answer(int tid, int status, osip_message_t* answer) {
  MsgPtr a(answer);
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Transaction* t = answerable(*s, tid);
  if (!t) return OSIP_NOTFOUND;
  if (!a) {
    if (status < 101 || status > 699) return OSIP_BADPARAMETER;
    a = build_server_answer(*s, *t, status);
    if (!a) return OSIP_UNDEFINED_ERROR;
  }
  int rc = send_server_response(*s, *t, std::move(a));
  process(*s);
  return rc;
}

int eXosip_call_build_ack(int did, osip_message_t** ack) {
  if (!ack) return OSIP_BADPARAMETER;
  *ack = nullptr;
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Dialog* d = s->dialog(did);
  if (!d) return OSIP_NOTFOUND;
  if (!d->uac || !d->confirmed) return OSIP_WRONG_STATE;
  MsgPtr m = build_ack(*s, *d);
  if (!m) return OSIP_UNDEFINED_ERROR;
  *ack = m.release();
  return OSIP_SUCCESS;
}

int eXosip_call_send_ack(int did, osip_message_t* ack) {
  MsgPtr m(ack);
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Dialog* d = s->dialog(did);
  if (!d) return OSIP_NOTFOUND;
  if (!m) m = build_ack(*s, *d);
  if (!m || !method_is(m.get(), "ACK")) return OSIP_BADPARAMETER;
  return send_ack(*s, *d, std::move(m));
}

int eXosip_call_build_request(int did, const char* method, osip_message_t** request) {
  if (!request || !method || !*method) return OSIP_BADPARAMETER;
  *request = nullptr;
  if (strcmp(method, "INVITE") == 0 || strcmp(method, "ACK") == 0 || strcmp(method, "CANCEL") == 0)
    return OSIP_BADPARAMETER;  // re-INVITE is not offered; ACK and CANCEL have their own calls
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Dialog* d = s->dialog(did);
  if (!d) return OSIP_NOTFOUND;
  if (d->terminated) return OSIP_WRONG_STATE;
  MsgPtr m = build_in_dialog_request(*s, *d, method);
  if (!m) return OSIP_UNDEFINED_ERROR;
  *request = m.release();
  return OSIP_SUCCESS;
}

int eXosip_call_build_info(int did, osip_message_t** request) { return eXosip_call_build_request(did, "INFO", request); }

int eXosip_call_send_request(int did, osip_message_t* request) {
  MsgPtr m(request);
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  if (!m || !m->sip_method || method_is(m.get(), "INVITE") || method_is(m.get(), "ACK")) return OSIP_BADPARAMETER;
  Lock l(s->mu);
  Dialog* d = s->dialog(did);
  if (!d) return OSIP_NOTFOUND;
  if (d->terminated) return OSIP_WRONG_STATE;
  bool bye = method_is(m.get(), "BYE");
  Transaction* t = start_client_transaction(*s, std::move(m), TxnKind::Nict);
  if (!t) return OSIP_UNDEFINED_ERROR;
  t->cid = d->cid;
  t->did = d->did;
  if (Call* c = s->call(d->cid)) c->tids.push_back(t->tid);
  if (bye) {
    d->terminated = true;
    d->ok_pending = false;
  }
  process(*s);
  return OSIP_SUCCESS;
}

int eXosip_call_terminate(int cid, int did) {
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Call* c = s->call(cid);
  Dialog* d = did > 0 ? s->dialog(did) : nullptr;
  if (!c && d) c = s->call(d->cid);
  if (!c) return OSIP_NOTFOUND;
  if (!d || d->cid != c->cid) d = c->did ? s->dialog(c->did) : nullptr;
  Transaction* inv = s->txn(c->invite_tid);
  int rc = OSIP_WRONG_STATE;
  if (d && d->confirmed && !d->terminated) {
    c->app_terminated = true;
    rc = send_bye(*s, *d);
  } else if (c->outgoing && inv && inv->tr && !inv->got_final) {
    c->app_terminated = true;
    if (inv->got_provisional) {
      rc = inv->cancel_sent ? OSIP_SUCCESS : send_cancel(*s, *inv);
    } else {
      inv->cancel_pending = true;  // RFC 3261 9.1: CANCEL waits for a provisional answer
      rc = OSIP_SUCCESS;
    }
  } else if (!c->outgoing && inv && answerable(*s, inv->tid)) {
    c->app_terminated = true;
    rc = respond(*s, *inv, 603);
  }
  process(*s);
  return rc;
}
