// Registration of our address with registrars.

#include "Protocol/sipua/Registration.h"

#include "Protocol/sipua/ClientTransaction.h"
#include "Protocol/sipua/DigestAuth.h"
#include "Velmora/registry/Trace.h"

#include <algorithm>
#include <cstdio>

namespace sipua {

static MsgPtr build_register(Stack& s, Registration& r, bool with_credentials) {
  osip_uri_t* proxy = nullptr;
  if (osip_uri_init(&proxy) != 0) return nullptr;
  if (osip_uri_parse(proxy, r.proxy.c_str()) != 0 || !proxy->host) {
    osip_uri_free(proxy);
    return nullptr;
  }
  MsgPtr m = new_request(s, "REGISTER", proxy);
  osip_uri_free(proxy);
  if (!m) return nullptr;
  if (osip_message_set_from(m.get(), r.from.c_str()) != 0 || osip_message_set_to(m.get(), r.from.c_str()) != 0 ||
      !m->from || !m->from->url)
    return nullptr;
  osip_from_set_tag(m->from, osip_strdup(r.from_tag.c_str()));
  osip_message_set_call_id(m.get(), r.call_id.c_str());
  char buf[64];
  snprintf(buf, sizeof buf, "%u REGISTER", ++r.cseq);
  osip_message_set_cseq(m.get(), buf);
  if (!r.contact.empty()) {
    osip_message_set_contact(m.get(), r.contact.c_str());
  } else {
    std::string user = m->from->url->username ? m->from->url->username : "";
    osip_message_set_contact(m.get(), own_contact(s, user, m->req_uri->host).c_str());
  }
  snprintf(buf, sizeof buf, "%d", r.expires);
  osip_message_set_expires(m.get(), buf);
  if (with_credentials && r.last_challenge) authorize(s, m.get(), r.last_challenge.get(), r.nc);
  return m;
}

static int send_register(Stack& s, Registration& r, MsgPtr m) {
  if (r.pending_tid) return OSIP_WRONG_STATE;
  r.last_sent = clone_msg(m.get());
  Transaction* t = start_client_transaction(s, std::move(m), TxnKind::Nict);
  if (!t) return OSIP_UNDEFINED_ERROR;
  t->rid = r.rid;
  r.pending_tid = t->tid;
  r.sent_at = Clock::now();
  return OSIP_SUCCESS;
}

// The expiry the registrar granted: our Contact's expires parameter, else the
// Expires header, else what we asked for.
static int granted_expires(const Registration& r, const osip_message_t* resp) {
  for (int i = 0; i < osip_list_size(&resp->contacts); ++i) {
    auto* c = static_cast<osip_contact_t*>(osip_list_get(&resp->contacts, i));
    osip_generic_param_t* p = nullptr;
    if (c && osip_contact_param_get_byname(c, const_cast<char*>("expires"), &p) == 0 && p && p->gvalue) {
      if (osip_list_size(&resp->contacts) == 1 || r.contact.empty() ||
          (c->url && c->url->host && r.contact.find(c->url->host) != std::string::npos))
        return atoi(p->gvalue);
    }
  }
  osip_header_t* h = nullptr;
  if (osip_message_get_expires(resp, 0, &h) >= 0 && h && h->hvalue) return atoi(h->hvalue);
  return r.expires;
}

void registration_outcome(Stack& s, Transaction& t, osip_message_t* sip) {
  Registration* r = s.reg(t.rid);
  if (!r || (sip && sip->status_code < 200)) return;
  if (r->pending_tid == t.tid) r->pending_tid = 0;
  if (!sip) {
    r->registered = false;
    post_event(s, EXOSIP_REGISTRATION_FAILURE, &t, t.request.get(), nullptr);
    return;
  }
  int code = sip->status_code;
  if (code < 300) {
    int expires = granted_expires(*r, sip);
    if (expires <= 0) {
      r->registered = false;
      post_event(s, EXOSIP_REGISTRATION_TERMINATED, &t, t.request.get(), sip);
      return;
    }
    r->registered = true;
    long lead_ms = static_cast<long>(expires) * 1000L * 3 / 4;
    if (lead_ms < 1000) lead_ms = 1000;
    r->refresh_at = r->sent_at + std::chrono::milliseconds(lead_ms);
    post_event(s, EXOSIP_REGISTRATION_SUCCESS, &t, t.request.get(), sip);
    return;
  }
  if (code == 401 || code == 407) r->last_challenge = clone_msg(sip);
  r->registered = false;
  post_event(s, EXOSIP_REGISTRATION_FAILURE, &t, t.request.get(), sip);
}

int resend_register_with_credentials(Stack& s, Registration& r) {
  if (r.pending_tid || !r.last_challenge) return OSIP_WRONG_STATE;
  // The challenge answers the last REGISTER sent on the registration.
  if (r.last_sent && !challenge_unanswered(r.last_sent.get(), r.last_challenge.get())) return OSIP_WRONG_STATE;
  MsgPtr m = build_register(s, r, true);
  if (!m) return OSIP_UNDEFINED_ERROR;
  return send_register(s, r, std::move(m));
}

void refresh_registrations(Stack& s) {
  auto now = Clock::now();
  for (auto& [rid, r] : s.regs) {
    if (!r->registered || r->pending_tid || r->expires <= 0 || now < r->refresh_at) continue;
    MsgPtr m = build_register(s, *r, true);
    if (m) send_register(s, *r, std::move(m));
    r->refresh_at = now + std::chrono::seconds(std::max(1, r->expires / 4));  // until the answer says more
  }
}

}  // namespace sipua

using namespace sipua;

int eXosip_register_build_initial_register(const char* from, const char* proxy, const char* contact, int expires,
                                           osip_message_t** reg) {
  if (!from || !proxy || !reg) return OSIP_BADPARAMETER;
  *reg = nullptr;
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Registration* r = nullptr;
  for (auto& [rid, old] : s->regs)
    if (old->from == from && old->proxy == proxy) r = old.get();
  if (r && r->pending_tid) return OSIP_WRONG_STATE;
  std::unique_ptr<Registration> fresh;
  if (!r) {
    if (s->regs.size() >= kMaxRegistrations) return OSIP_NOMEM;
    fresh = std::make_unique<Registration>();
    fresh->rid = s->next_rid++;
    fresh->from = from;
    fresh->proxy = proxy;
    fresh->call_id = random_hex(24) + "@" + s->local_ip;
    fresh->from_tag = random_hex(10);
    fresh->cseq = 0;
    r = fresh.get();
  }
  std::string old_contact = r->contact;
  int old_expires = r->expires;
  r->contact = contact ? contact : "";
  r->expires = expires < 0 ? 3600 : expires;
  MsgPtr m = build_register(*s, *r, false);
  if (!m) {
    r->contact = old_contact;
    r->expires = old_expires;
    return OSIP_SYNTAXERROR;
  }
  r->last_challenge.reset();
  int rid = r->rid;
  if (fresh) s->regs[rid] = std::move(fresh);
  *reg = m.release();
  return rid;
}

int eXosip_register_build_register(int rid, int expires, osip_message_t** reg) {
  if (!reg) return OSIP_BADPARAMETER;
  *reg = nullptr;
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Registration* r = s->reg(rid);
  if (!r) return OSIP_NOTFOUND;
  if (r->pending_tid) return OSIP_WRONG_STATE;
  if (expires >= 0) r->expires = expires;
  MsgPtr m = build_register(*s, *r, true);
  if (!m) return OSIP_UNDEFINED_ERROR;
  *reg = m.release();
  return OSIP_SUCCESS;
}

int eXosip_register_send_register(int rid, osip_message_t* reg) {
  MsgPtr m(reg);
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Registration* r = s->reg(rid);
  if (!r) return OSIP_NOTFOUND;
  if (r->pending_tid) return OSIP_WRONG_STATE;
  if (!m) m = build_register(*s, *r, true);
  if (!m || !method_is(m.get(), "REGISTER")) return OSIP_BADPARAMETER;
  int rc = send_register(*s, *r, std::move(m));
  process(*s);
  return rc;
}
