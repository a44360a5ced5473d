#ifndef SKYPEAPI_CACCOUNT_H
#define SKYPEAPI_CACCOUNT_H

#include "ClientRuntime/api/generated/SkypeApi.h"

// The gateway's proxy of a Skype account: turns its login status and
// balance into the account record and the Skype account file.
class CAccount : public Account {
public:
  typedef AccountRef Ref;
  CAccount(unsigned oid, SERootObject* root);
  ~CAccount() override;

  void OnChange(int prop) override;
  // STATUS (property 70).
  unsigned getStatus();

  ContactGroupRef auth_reqs_group;  // not used by the gateway
  bool flagchange = false;          // set by the first login-status change this proxy reports
};

#endif
