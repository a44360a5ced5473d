#include "Velmora/SkypeEvents.h"

#include "ClientRuntime/api/generated/SkypeApi.h"
#include "Velmora/SkypeAccounts.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

// Incoming Skype calls and messages are routed by call control; until it
// takes them, they are only traced.
void GatewaySkypeEvents::SkypeOnConversationListChange(S_Skype* sk, const ConversationRef& conversation) {
  GW_TRACE("%s conversation list change %u\n\n", sk ? sk->name.c_str() : "", conversation.get_oid());
}

void GatewaySkypeEvents::SkypeOnmessage(S_Skype* sk, const MessageRef& message, const ConversationRef&) {
  GW_TRACE("%s message %u\n\n", sk ? sk->name.c_str() : "", message.get_oid());
}

// Runs on a processor thread inside the account proxy's OnChange: the
// logins are handed to the login thread, because an account lookup may
// purge the session's proxies, the calling one among them.
void GatewaySkypeEvents::skypeAccountLogin() { request_account_logins(); }

GatewaySkypeEvents& gateway_skype_events() {
  static GatewaySkypeEvents events;
  return events;
}
