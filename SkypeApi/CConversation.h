#ifndef SKYPEAPI_CCONVERSATION_H
#define SKYPEAPI_CCONVERSATION_H

#include "ClientRuntime/api/generated/SkypeApi.h"

// The gateway's proxy of a conversation: keeps its participants fetched, so
// that their events and property changes reach their proxies.
class CConversation : public Conversation {
public:
  typedef ConversationRef Ref;
  CConversation(unsigned oid, SERootObject* root);
  ~CConversation() override;

  void OnParticipantListChange() override;

  ParticipantRefs m_participants;

private:
  void refresh_participants();
};

// The gateway's proxy of a call participant.
class CParticipant : public Participant {
public:
  typedef ParticipantRef Ref;
  CParticipant(unsigned oid, SERootObject* root);
  ~CParticipant() override;

  VideoRef m_video;  // null until the participant's video becomes available
};

#endif
