// REGISTER requests: the initial one, the one answering a challenge, and the
// refresh that repeats the cached credentials.

#include <cstdio>

#include "Protocol/SipAuthHeader.h"
#include "Protocol/SipHandler.h"
#include "Protocol/SipStack.h"
#include "Protocol/SipUri.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

int SipHandler::registersip(const char* localIp, S_User& user, const char* remoteIp, int port) {
  char from[kSipUriSize];
  char registrar[kSipUriSize];
  if (!sip_make_uri(from, user.sipuserid, localIp ? localIp : "", gwconfig.localport) ||
      !sip_make_uri(registrar, user.sipuserid, remoteIp ? remoteIp : "", port)) {
    GW_TRACE("register refused: user %.64s or host %.64s too long or not a SIP URI part\n\n",
             user.sipuserid.c_str(), remoteIp ? remoteIp : "");
    return -2;
  }
  const char* contact = from;

  SipStackLock stack;
  osip_message_t* message = nullptr;
  int rid = eXosip_register_build_initial_register(from, registrar, contact, gwconfig.regsipinterval, &message);
  if (rid < 0) {
    // The account keeps the id of its registration: a REGISTER still under
    // way on it (the stack refuses a second one meanwhile) may yet succeed,
    // and its answer must find the account.
    GW_TRACE("register_build_initial_register failed %d\n\n", rid);
    return -3;
  }
  user.rid = rid;
  if (eXosip_add_authentication_info(user.authname.c_str(), user.sipuserid.c_str(), user.sippwd.c_str(), "md5",
                                     nullptr) != 0) {
    GW_TRACE("--Add_authentication_info failed \n\n");
    osip_message_free(message);
    return -4;
  }
  if (eXosip_register_send_register(user.rid, message) != 0) {
    GW_TRACE("register_send_register failed \n\n");
    return -5;
  }
  return 0;
}

int SipHandler::registersip_again(S_User& user, eXosip_event_t* event) {
  if (event == nullptr) return -1;
  SipStackLock stack;
  osip_message_t* message = nullptr;
  if (eXosip_register_build_register(event->rid, gwconfig.regsipinterval, &message) < 0 || message == nullptr) {
    GW_TRACE("register_build_register failed for rid %d\n\n", event->rid);
    return -1;
  }
  if (user.auth.empty()) user.auth = sip_first_authorization(message);
  if (eXosip_register_send_register(event->rid, message) != 0) GW_TRACE("register_send_register failed \n\n");
  return 0;
}

int SipHandler::registersip_heartdbeat(S_User& user) {
  SipStackLock stack;
  osip_message_t* message = nullptr;
  if (eXosip_register_build_register(user.rid, gwconfig.regsipinterval, &message) < 0 || message == nullptr) {
    GW_TRACE("register_build_register failed for rid %d\n\n", user.rid);
    return -1;
  }
  if (!sip_set_authorization(message, user.auth)) GW_TRACE("cached Authorization of %.64s not usable\n\n",
                                                          user.sipuserid.c_str());
  if (eXosip_register_send_register(user.rid, message) != 0) GW_TRACE("register_send_register failed \n\n");
  return 0;
}
