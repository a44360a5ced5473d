#ifndef SKYPEAPI_SKYPEPROXIES_H
#define SKYPEAPI_SKYPEPROXIES_H

// The proxies the gateway has no use for beyond their existence: the
// session's factory must create some proxy for every class.

#include "ClientRuntime/api/generated/SkypeApi.h"

class CMessage : public Message {
public:
  using Message::Message;
};
class CSms : public Sms {
public:
  using Sms::Sms;
};
class CTransfer : public Transfer {
public:
  using Transfer::Transfer;
};
class CVideo : public Video {
public:
  using Video::Video;
};
class CVoicemail : public Voicemail {
public:
  using Voicemail::Voicemail;
};
class CContact : public Contact {
public:
  using Contact::Contact;
  SEString skypeName;
};
class CContactSearch : public ContactSearch {
public:
  using ContactSearch::ContactSearch;
};
class CContactGroup : public ContactGroup {
public:
  using ContactGroup::ContactGroup;
};

#endif
