#include "ClientRuntime/api/AccountLookup.h"

void AccountLookup::before_lookup(SERootObject& root, const SEString& skypename, SEReference& account) {
  bool purge = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!(m_last_name == skypename)) {
      purge = true;
      m_last_name = skypename.deepCopy();
    }
  }
  if (purge) root.cleanup(1, &account);
  root.set_logging_out(0);
}
