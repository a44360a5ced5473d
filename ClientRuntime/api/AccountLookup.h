#ifndef CLIENTRUNTIME_API_ACCOUNTLOOKUP_H
#define CLIENTRUNTIME_API_ACCOUNTLOOKUP_H

#include "ClientRuntime/api/generated/SkypeApi.h"

// Before an account is looked up: when the name differs from the last one
// asked for (by any session of the process), the calling session's proxies are
// purged; then events are let through (the logging-out marker is cleared).
void account_lookup(Skype& root, const SEString& skypename, AccountRef& account);

#endif
