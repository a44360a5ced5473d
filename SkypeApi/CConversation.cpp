#include "SkypeApi/CConversation.h"

CConversation::CConversation(unsigned oid, SERootObject* root) : Conversation(oid, root) { refresh_participants(); }

CConversation::~CConversation() {}

void CConversation::refresh_participants() {
  ParticipantRefs participants;
  if (!GetParticipants(participants, Conversation::ALL)) return;
  Sid::fetch(participants);
  m_participants = participants;
}

void CConversation::OnParticipantListChange() { refresh_participants(); }

CParticipant::CParticipant(unsigned oid, SERootObject* root) : Participant(oid, root) {}

CParticipant::~CParticipant() {}
