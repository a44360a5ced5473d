#ifndef SKYPEAPI_GATEWAYEVENTS_H
#define SKYPEAPI_GATEWAYEVENTS_H

// What an account's session object hands on to the gateway core. The
// session holds this interface, not the gateway, so the Skype API layer
// never depends on the gateway library.

struct S_Skype;
class ConversationRef;
class MessageRef;

class GatewayEvents {
public:
  virtual ~GatewayEvents() = default;
  // The conversation list of account `sk` changed (an incoming call, the end of one).
  virtual void SkypeOnConversationListChange(S_Skype* sk, const ConversationRef& conversation) = 0;
  // A message arrived in one of the account's conversations.
  virtual void SkypeOnmessage(S_Skype* sk, const MessageRef& message, const ConversationRef& conversation) = 0;
  // An account reported that it was logged out: log the accounts in again.
  virtual void skypeAccountLogin() = 0;
};

#endif
