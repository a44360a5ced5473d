#include "Protocol/SipHandlerTable.h"

void SipHandlerTable::Register(int type, SipProtoHandler handler, void* context) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_handlers[type] = SipProtoCallback{handler, context};
}

bool SipHandlerTable::Find(int type, SipProtoCallback& out) const {
  std::lock_guard<std::mutex> guard(m_mutex);
  auto it = m_handlers.find(type);
  if (it == m_handlers.end()) return false;
  out = it->second;
  return true;
}
