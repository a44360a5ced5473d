// The receive path: what the stack does with each message a peer sends.

#include "Protocol/sipua/Inbound.h"

#include "Protocol/sipua/Dialog.h"
#include "Protocol/sipua/ServerTransaction.h"
#include "Velmora/registry/Trace.h"

#include <cstdio>

namespace sipua {

const char* malformed(const osip_message_t* m, bool& fatal) {
  fatal = true;
  if (!m) return "no message";
  auto* via = static_cast<osip_via_t*>(osip_list_get(&m->vias, 0));
  if (!via || !via->host || !via->protocol) return "no Via";
  if (!m->from || !m->from->url) return "no From";
  if (!m->to || !m->to->url) return "no To";
  if (!m->call_id || !m->call_id->number) return "no Call-ID";
  if (cseq_number(m) < 0 || !m->cseq->method) return "no valid CSeq";
  fatal = false;
  if (!m->sip_version || osip_strcasecmp(m->sip_version, "SIP/2.0") != 0) return "not SIP/2.0";
  if (MSG_IS_REQUEST(m)) {
    if (!m->sip_method || !m->req_uri || !m->req_uri->scheme) return "no request line";
    if (strcmp(m->sip_method, m->cseq->method) != 0) return "CSeq method differs from the request";
  } else {
    if (m->status_code < 100 || m->status_code > 699) {
      fatal = true;
      return "bad status code";
    }
  }
  if (m->content_length && m->content_length->value) {
    const char* v = m->content_length->value;
    long declared = 0;
    for (; *v; ++v) {
      if (*v < '0' || *v > '9' || declared > 65535) return "bad Content-Length";
      declared = declared * 10 + (*v - '0');
    }
    long actual = 0;
    for (int i = 0; i < osip_list_size(&m->bodies); ++i) {
      auto* b = static_cast<osip_body_t*>(osip_list_get(&m->bodies, i));
      if (b) actual += static_cast<long>(b->length);
    }
    if (declared > actual) return "Content-Length beyond the datagram";
  }
  return nullptr;
}

static void fix_via(osip_message_t* m, const std::string& ip, int port) {
  auto* via = static_cast<osip_via_t*>(osip_list_get(&m->vias, 0));
  if (!via) return;
  osip_generic_param_t* p = nullptr;
  osip_via_param_get_byname(via, const_cast<char*>("received"), &p);
  if (p) {
    osip_free(p->gvalue);
    p->gvalue = osip_strdup(ip.c_str());
  } else if (!via->host || ip != via->host) {
    osip_via_param_add(via, osip_strdup("received"), osip_strdup(ip.c_str()));
  }
  p = nullptr;
  osip_via_param_get_byname(via, const_cast<char*>("rport"), &p);
  if (p) {
    char text[16];
    snprintf(text, sizeof text, "%d", port);
    osip_free(p->gvalue);
    p->gvalue = osip_strdup(text);
  }
  osip_message_force_update(m);
}

static bool is_one_of(const char* method, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (strcmp(method, n) == 0) return true;
  return false;
}

static void in_dialog_request(Stack& s, osip_event_t* evt) {
  osip_message_t* m = evt->sip;
  const char* method = m->sip_method;
  Dialog* d = find_dialog_for_request(s, m);
  if (!d || (d->terminated && strcmp(method, "BYE") != 0)) {
    GW_TRACE("%s matches no dialog: 481\n", method);
    reject(s, evt, 481);
    return;
  }
  long cseq = cseq_number(m);
  if (cseq <= d->d->remote_cseq) {
    GW_TRACE("%s with CSeq %ld out of order (last %d): 500\n", method, cseq, d->d->remote_cseq);
    reject(s, evt, 500);
    return;
  }
  Call* c = s.call(d->cid);
  if (!c || !is_one_of(method, {"INVITE", "BYE", "INFO", "OPTIONS", "MESSAGE", "NOTIFY"})) {
    reject(s, evt, 501);
    return;
  }
  d->d->remote_cseq = static_cast<int>(cseq);
  bool invite = strcmp(method, "INVITE") == 0;
  Transaction* t = start_server_transaction(s, evt, invite ? TxnKind::Ist : TxnKind::Nist);
  if (!t) return;
  t->cid = c->cid;
  t->did = d->did;
  c->tids.push_back(t->tid);
  if (invite) {
    update_remote_target(*d, t->request.get());
    respond(s, *t, 100);
    post_event(s, EXOSIP_CALL_REINVITE, t, t->request.get(), nullptr);
  } else if (strcmp(method, "BYE") == 0) {
    if (d->terminated) {  // BYE crossed ours
      respond(s, *t, 200);
      return;
    }
    d->terminated = true;
    d->ok_pending = false;
    post_event(s, EXOSIP_CALL_CLOSED, t, t->request.get(), nullptr);
  } else {
    post_event(s, EXOSIP_CALL_MESSAGE_NEW, t, t->request.get(), nullptr);
  }
}

// An INVITE we already answered 2xx, sent again: absorbed (RFC 6026), the
// 2xx is re-sent on its own timer until the ACK comes.
static bool answered_invite_again(Stack& s, const osip_message_t* m) {
  std::string callid = call_id_text(m), remote = from_tag(m);
  long cseq = cseq_number(m);
  for (auto& [did, d] : s.dialogs)
    if (!d->uac && d->confirmed && d->d && d->d->call_id && callid == d->d->call_id && d->d->remote_tag &&
        remote == d->d->remote_tag && cseq == d->d->remote_cseq)
      return true;
  return false;
}

static void new_call(Stack& s, osip_event_t* evt) {
  osip_message_t* m = evt->sip;
  if (answered_invite_again(s, m)) {
    GW_TRACE("INVITE repeated after its 2xx, absorbed\n");
    osip_event_free(evt);
    return;
  }
  osip_contact_t* contact = nullptr;
  if (osip_message_get_contact(m, 0, &contact) < 0 || !contact || !contact->url) {
    GW_TRACE("INVITE without Contact: 400\n");
    reject(s, evt, 400);
    return;
  }
  if (s.calls.size() >= kMaxCalls) {
    GW_TRACE("too many calls: 503\n");
    reject(s, evt, 503);
    return;
  }
  Transaction* t = start_server_transaction(s, evt, TxnKind::Ist);
  if (!t) return;
  auto c = std::make_unique<Call>();
  c->cid = s.next_cid++;
  c->invite_tid = t->tid;
  c->local_tag = random_hex(10);
  c->tids.push_back(t->tid);
  t->cid = c->cid;
  Call& call = *c;
  s.calls[c->cid] = std::move(c);
  Dialog* d = create_uas_dialog(s, call, t->request.get());
  if (!d) {
    respond(s, *t, 500);
    call.finished = true;
    return;
  }
  t->did = d->did;
  respond(s, *t, 100);
  post_event(s, EXOSIP_CALL_INVITE, t, t->request.get(), nullptr);
}

static void new_request(Stack& s, osip_event_t* evt) {
  osip_message_t* m = evt->sip;
  const char* method = m->sip_method;
  if (strcmp(method, "ACK") == 0) {
    on_ack(s, m);  // an ACK to a 2xx, or a stray one: never answered
    osip_event_free(evt);
    return;
  }
  if (s.txns.size() >= kMaxTransactions || s.events.full()) {
    GW_TRACE("overloaded: %s answered 503\n", method);
    respond_stateless(s, m, 503);
    osip_event_free(evt);
    return;
  }
  if (strcmp(method, "CANCEL") == 0) {
    on_cancel(s, evt);
    return;
  }
  if (!to_tag(m).empty()) {
    in_dialog_request(s, evt);
    return;
  }
  if (strcmp(method, "INVITE") == 0) {
    new_call(s, evt);
  } else if (is_one_of(method, {"MESSAGE", "OPTIONS"})) {
    Transaction* t = start_server_transaction(s, evt, TxnKind::Nist);
    if (t) post_event(s, EXOSIP_MESSAGE_NEW, t, t->request.get(), nullptr);
  } else if (is_one_of(method, {"BYE", "INFO", "NOTIFY", "PRACK", "UPDATE"})) {
    GW_TRACE("%s outside any dialog: 481\n", method);
    reject(s, evt, 481);
  } else {
    GW_TRACE("%s not handled: 501\n", method);
    reject(s, evt, 501);
  }
}

void inbound(Stack& s, osip_event_t* evt, const std::string& ip, int port) {
  osip_message_t* m = evt->sip;
  bool fatal = false;
  if (const char* why = malformed(m, fatal)) {
    GW_TRACE("message from %s:%d dropped: %s\n", ip.c_str(), port, why);
    if (!fatal && m && MSG_IS_REQUEST(m) && m->sip_method && strcmp(m->sip_method, "ACK") != 0) {
      fix_via(m, ip, port);
      respond_stateless(s, m, 400);
    }
    osip_event_free(evt);
    return;
  }
  if (MSG_IS_REQUEST(m)) fix_via(m, ip, port);
  if (osip_find_transaction_and_add_event(s.osip, evt) == OSIP_SUCCESS) return;  // theirs now
  if (MSG_IS_RESPONSE(m)) {
    if (!resend_ack_for(s, m)) GW_TRACE("%d response matches no transaction, dropped\n", m->status_code);
    osip_event_free(evt);
    return;
  }
  new_request(s, evt);
}

}  // namespace sipua
