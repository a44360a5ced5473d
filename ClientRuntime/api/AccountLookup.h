#ifndef CLIENTRUNTIME_API_ACCOUNTLOOKUP_H
#define CLIENTRUNTIME_API_ACCOUNTLOOKUP_H

#include <mutex>

#include "ClientRuntime/types/SERootObject.h"
#include "ClientRuntime/types/SEReference.h"
#include "VoiceHost/sid/types/SEString.h"

// The account name a session looked up last. Each root keeps its own, so a
// session asking again for its own account (a re-login) keeps its proxies
// and the references its owner holds, whatever other sessions of the process
// look up meanwhile.
class AccountLookup {
public:
  // Before an account is looked up on `root`: when the name differs from the
  // one this root asked for last, the root's proxies are purged (`account`
  // is renewed for the new generation); then events are let through (the
  // logging-out marker is cleared).
  void before_lookup(SERootObject& root, const SEString& skypename, SEReference& account);

private:
  std::mutex m_mutex;
  SEString m_last_name;
};

#endif
