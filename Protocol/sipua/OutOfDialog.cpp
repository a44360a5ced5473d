// Requests outside calls: answers to MESSAGE and OPTIONS, and MESSAGE (or
// another request) sent outside any dialog.

#include "Protocol/sipua/ClientTransaction.h"
#include "Protocol/sipua/ServerTransaction.h"
#include "Protocol/sipua/Stack.h"

using namespace sipua;

int eXosip_message_build_answer(int tid, int status, osip_message_t** answer) {
  return eXosip_call_build_answer(tid, status, answer);
}

int eXosip_message_send_answer(int tid, int status, osip_message_t* answer) {
  return eXosip_call_send_answer(tid, status, answer);
}

int eXosip_message_build_request(osip_message_t** message, const char* method, const char* to, const char* from,
                                 const char* route) {
  if (!message || !method || !*method || !to || !from) return OSIP_BADPARAMETER;
  *message = nullptr;
  if (!strcmp(method, "INVITE") || !strcmp(method, "ACK") || !strcmp(method, "CANCEL") || !strcmp(method, "REGISTER"))
    return OSIP_BADPARAMETER;  // these have their own calls
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  osip_to_t* target = nullptr;
  if (osip_to_init(&target) != 0) return OSIP_NOMEM;
  if (osip_to_parse(target, to) != 0 || !target->url || !target->url->host) {
    osip_to_free(target);
    return OSIP_SYNTAXERROR;
  }
  MsgPtr m = new_request(*s, method, target->url);
  std::string host = target->url->host;
  osip_to_free(target);
  if (!m) return OSIP_SYNTAXERROR;
  if (osip_message_set_to(m.get(), to) != 0 || osip_message_set_from(m.get(), from) != 0 || !m->from)
    return OSIP_SYNTAXERROR;
  osip_from_set_tag(m->from, osip_strdup(random_hex(10).c_str()));
  std::string callid = random_hex(24) + "@" + local_ip_toward(*s, host);
  osip_message_set_call_id(m.get(), callid.c_str());
  std::string cseq = std::string("1 ") + method;
  osip_message_set_cseq(m.get(), cseq.c_str());
  if (route && *route && osip_message_set_route(m.get(), route) != 0) return OSIP_SYNTAXERROR;
  *message = m.release();
  return OSIP_SUCCESS;
}

int eXosip_message_send_request(osip_message_t* message) {
  MsgPtr m(message);
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  if (!m || !m->sip_method || method_is(m.get(), "INVITE") || method_is(m.get(), "ACK")) return OSIP_BADPARAMETER;
  Lock l(s->mu);
  if (s->txns.size() >= kMaxTransactions) return OSIP_NOMEM;
  Transaction* t = start_client_transaction(*s, std::move(m), TxnKind::Nict);
  if (!t) return OSIP_UNDEFINED_ERROR;
  int tid = t->tid;
  process(*s);
  return tid;
}
