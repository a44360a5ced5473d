#ifndef VELMORA_SKYPEEVENTS_H
#define VELMORA_SKYPEEVENTS_H

#include "SkypeApi/GatewayEvents.h"

// The gateway's receiver of every account session's events.
class GatewaySkypeEvents : public GatewayEvents {
public:
  void SkypeOnConversationListChange(S_Skype* sk, const ConversationRef& conversation) override;
  void SkypeOnmessage(S_Skype* sk, const MessageRef& message, const ConversationRef& conversation) override;
  void skypeAccountLogin() override;
};

// The one receiver, for the life of the process.
GatewaySkypeEvents& gateway_skype_events();

#endif
