// Dialogs: both ends of a call, from the first tagged answer to BYE.

#include "Protocol/sipua/Dialog.h"

#include "Protocol/sipua/ClientTransaction.h"
#include "Protocol/sipua/Transport.h"
#include "Velmora/registry/Trace.h"

#include <algorithm>
#include <cstdio>

namespace sipua {

static Dialog* add_dialog(Stack& s, Call& c, osip_dialog_t* od, bool uac) {
  auto d = std::make_unique<Dialog>();
  d->did = s.next_did++;
  d->cid = c.cid;
  d->d = od;
  d->uac = uac;
  Dialog* raw = d.get();
  s.dialogs[d->did] = std::move(d);
  c.did = raw->did;
  return raw;
}

Dialog* create_uas_dialog(Stack& s, Call& c, const osip_message_t* invite) {
  MsgPtr shape = build_response(s, invite, 200, c.local_tag);
  if (!shape) return nullptr;
  osip_dialog_t* od = nullptr;
  if (osip_dialog_init_as_uas(&od, const_cast<osip_message_t*>(invite), shape.get()) != 0 || !od) return nullptr;
  if (od->local_cseq <= 0) od->local_cseq = 1;
  od->remote_cseq = static_cast<int>(cseq_number(invite));
  return add_dialog(s, c, od, false);
}

Dialog* uac_dialog(Stack& s, Call& c, const osip_message_t* response) {
  std::string tag = to_tag(response);
  if (tag.empty()) return nullptr;
  Dialog* d = c.did ? s.dialog(c.did) : nullptr;
  bool is2xx = response->status_code >= 200 && response->status_code < 300;
  if (d && d->d && d->d->remote_tag && tag == d->d->remote_tag) {
    if (is2xx) {
      osip_dialog_update_route_set_as_uac(d->d, const_cast<osip_message_t*>(response));
      osip_dialog_set_state(d->d, DIALOG_CONFIRMED);
    }
    return d;
  }
  // First dialog of the call, or a fork's answer: one dialog per call, and a
  // confirmed one is not replaced.
  if (d && d->confirmed) return nullptr;
  osip_dialog_t* od = nullptr;
  if (osip_dialog_init_as_uac(&od, const_cast<osip_message_t*>(response)) != 0 || !od) return nullptr;
  if (d) s.dialogs.erase(d->did);
  return add_dialog(s, c, od, true);
}

static bool same(const char* a, const std::string& b) { return a && b == a; }

Dialog* find_dialog_for_request(Stack& s, const osip_message_t* req) {
  std::string callid = call_id_text(req), local = to_tag(req), remote = from_tag(req);
  for (auto& [did, d] : s.dialogs)
    if (d->d && same(d->d->call_id, callid) && same(d->d->local_tag, local) && same(d->d->remote_tag, remote))
      return d.get();
  return nullptr;
}

Dialog* find_dialog_for_response(Stack& s, const osip_message_t* resp) {
  std::string callid = call_id_text(resp), local = from_tag(resp), remote = to_tag(resp);
  for (auto& [did, d] : s.dialogs)
    if (d->d && same(d->d->call_id, callid) && same(d->d->local_tag, local) && same(d->d->remote_tag, remote))
      return d.get();
  return nullptr;
}

void update_remote_target(Dialog& d, const osip_message_t* req) {
  osip_contact_t* contact = nullptr;
  if (osip_message_get_contact(req, 0, &contact) < 0 || !contact || !contact->url) return;
  osip_contact_t* copy = nullptr;
  if (osip_contact_clone(contact, &copy) != 0) return;
  if (d.d->remote_contact_uri) osip_contact_free(d.d->remote_contact_uri);
  d.d->remote_contact_uri = copy;
}

static void ensure_tag(osip_from_t* h, const char* tag) {
  if (!h || !tag) return;
  osip_generic_param_t* p = nullptr;
  if (osip_generic_param_get_byname(&h->gen_params, const_cast<char*>("tag"), &p) == 0 && p) return;
  osip_from_set_tag(h, osip_strdup(tag));
}

static MsgPtr dialog_request(Stack& s, Dialog& d, const char* method, int cseq) {
  osip_dialog_t* od = d.d;
  const osip_uri_t* target = od->remote_contact_uri && od->remote_contact_uri->url ? od->remote_contact_uri->url
                             : od->remote_uri ? od->remote_uri->url : nullptr;
  MsgPtr m = new_request(s, method, target);
  if (!m) return nullptr;
  if (osip_from_clone(od->local_uri, &m->from) != 0 || osip_to_clone(od->remote_uri, &m->to) != 0) return nullptr;
  ensure_tag(m->from, od->local_tag);
  ensure_tag(m->to, od->remote_tag);
  osip_message_set_call_id(m.get(), od->call_id);
  char cs[64];
  snprintf(cs, sizeof cs, "%d %s", cseq, method);
  osip_message_set_cseq(m.get(), cs);
  for (int i = 0; i < osip_list_size(&od->route_set); ++i) {
    auto* r = static_cast<osip_route_t*>(osip_list_get(&od->route_set, i));
    osip_route_t* copy = nullptr;
    if (osip_from_clone(r, &copy) == 0) osip_list_add(&m->routes, copy, -1);
  }
  // The first hop may now be a Route rather than the target: Via follows it.
  std::string host;
  int port = 0;
  request_destination(m.get(), host, port);
  while (osip_list_size(&m->vias) > 0) {
    auto* via = static_cast<osip_via_t*>(osip_list_get(&m->vias, 0));
    osip_list_remove(&m->vias, 0);
    osip_via_free(via);
  }
  if (set_top_via(s, m.get(), host) != 0) return nullptr;
  return m;
}

MsgPtr build_in_dialog_request(Stack& s, Dialog& d, const char* method) {
  if (!d.d || d.terminated) return nullptr;
  MsgPtr m = dialog_request(s, d, method, ++d.d->local_cseq);
  if (!m) return nullptr;
  if (strcmp(method, "INVITE") == 0 || strcmp(method, "NOTIFY") == 0) {
    std::string user = d.d->local_uri && d.d->local_uri->url && d.d->local_uri->url->username
                           ? d.d->local_uri->url->username : "";
    std::string host;
    int port = 0;
    request_destination(m.get(), host, port);
    osip_message_set_contact(m.get(), own_contact(s, user, host).c_str());
  }
  return m;
}

MsgPtr build_ack(Stack& s, Dialog& d) {
  if (!d.d || !d.uac || d.ack_cseq <= 0) return nullptr;
  return dialog_request(s, d, "ACK", d.ack_cseq);
}

int send_ack(Stack& s, Dialog& d, MsgPtr ack) {
  if (!ack) return OSIP_BADPARAMETER;
  reset_content_length(ack.get());
  std::string host;
  int port = 0;
  request_destination(ack.get(), host, port);
  std::string text = to_text(ack.get());
  if (text.empty() || host.empty()) return OSIP_SYNTAXERROR;
  d.ack_text = text;
  d.ack_host = host;
  d.ack_port = port;
  return send_text(s, text, host, port);
}

int send_bye(Stack& s, Dialog& d) {
  MsgPtr bye = build_in_dialog_request(s, d, "BYE");
  d.terminated = true;
  d.ok_pending = false;
  if (!bye) return OSIP_UNDEFINED_ERROR;
  Transaction* t = start_client_transaction(s, std::move(bye), TxnKind::Nict);
  if (!t) return OSIP_UNDEFINED_ERROR;
  t->cid = d.cid;
  t->did = d.did;
  if (Call* c = s.call(d.cid)) c->tids.push_back(t->tid);
  return OSIP_SUCCESS;
}

void start_ok_retransmission(Stack& s, Dialog& d, osip_message_t* ok) {
  d.ok_text = to_text(ok);
  char* host = nullptr;
  int port = 5060;
  osip_response_get_destination(ok, &host, &port);
  d.ok_host = host ? host : "";
  if (host) osip_free(host);
  d.ok_port = port;
  d.ok_cseq = static_cast<int>(cseq_number(ok));
  d.ok_interval_ms = kT1;
  auto now = Clock::now();
  d.ok_next = now + std::chrono::milliseconds(kT1);
  d.ok_deadline = now + std::chrono::milliseconds(64 * kT1);
  d.ok_pending = !d.ok_text.empty() && !d.ok_host.empty();
  (void)s;
}

void on_ack(Stack& s, const osip_message_t* ack) {
  Dialog* d = find_dialog_for_request(s, ack);
  if (!d) {
    GW_TRACE("ACK matches no dialog, dropped\n");
    return;
  }
  if (!d->ok_pending || cseq_number(ack) != d->ok_cseq) return;  // a repeated ACK
  d->ok_pending = false;
  EventPtr e = new_event(EXOSIP_CALL_ACK);
  e->did = d->did;
  e->cid = d->cid;
  e->ack = clone_msg(ack).release();
  e->request = clone_msg(ack).release();
  if (!s.events.push(std::move(e))) GW_TRACE("event queue full, ACK event dropped\n");
}

bool resend_ack_for(Stack& s, const osip_message_t* resp) {
  if (resp->status_code < 200 || resp->status_code >= 300 || cseq_method(resp) != "INVITE") return false;
  Dialog* d = find_dialog_for_response(s, resp);
  if (!d) return false;
  if (!d->ack_text.empty() && cseq_number(resp) == d->ack_cseq) send_text(s, d->ack_text, d->ack_host, d->ack_port);
  return true;
}

void dialog_timers(Stack& s) {
  auto now = Clock::now();
  for (auto& [did, d] : s.dialogs) {
    if (!d->ok_pending) continue;
    if (now >= d->ok_deadline) {
      GW_TRACE("no ACK for the 2xx of dialog %d: ending it\n", did);
      d->ok_pending = false;
      send_bye(s, *d);
      continue;
    }
    if (now >= d->ok_next) {
      send_text(s, d->ok_text, d->ok_host, d->ok_port);
      d->ok_interval_ms = std::min(d->ok_interval_ms * 2, kT2);
      d->ok_next = now + std::chrono::milliseconds(d->ok_interval_ms);
    }
  }
}

}  // namespace sipua
