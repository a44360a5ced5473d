#include "ClientRuntime/api/AccountLookup.h"

#include <mutex>

namespace {

std::mutex& last_name_mutex() {
  static std::mutex m;
  return m;
}
SEString& last_name() {
  static SEString name;
  return name;
}

} // namespace

void account_lookup(Skype& root, const SEString& skypename, AccountRef& account) {
  bool purge = false;
  {
    std::lock_guard<std::mutex> lock(last_name_mutex());
    if (!(last_name() == skypename)) {
      purge = true;
      last_name() = skypename.deepCopy();
    }
  }
  if (purge) root.cleanup(1, &account);
  root.set_logging_out(0);
}
