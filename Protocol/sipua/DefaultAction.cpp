// What the stack does on its own for events the application does not act on:
// answering digest challenges with the registered credentials, and keeping
// registrations refreshed. Redirections (3xx) are not followed.

#include "Protocol/sipua/Call.h"
#include "Protocol/sipua/Registration.h"
#include "Protocol/sipua/Stack.h"
#include "Velmora/registry/Trace.h"

using namespace sipua;

int eXosip_default_action(eXosip_event_t* event) {
  if (!event || !event->response) return OSIP_BADPARAMETER;
  int code = event->response->status_code;
  if (code != 401 && code != 407) return OSIP_UNDEFINED_ERROR;
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  int rc = OSIP_UNDEFINED_ERROR;
  if (event->type == EXOSIP_REGISTRATION_FAILURE) {
    if (Registration* r = s->reg(event->rid)) rc = resend_register_with_credentials(*s, *r);
  } else if (event->type == EXOSIP_CALL_REQUESTFAILURE) {
    Call* c = s->call(event->cid);
    if (c && c->invite_tid == event->tid) rc = resend_invite_with_credentials(*s, *c);
  }
  if (rc == OSIP_SUCCESS) GW_TRACE("%d answered with credentials\n", code);
  process(*s);
  return rc;
}

void eXosip_automatic_refresh(void) {
  Stack* s = stack();
  if (!s) return;
  Lock l(s->mu);
  refresh_registrations(*s);
  process(*s);
}
