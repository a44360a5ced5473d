#include "VoiceHost/sid/types/SEPMap.h"

#include <cstring>

SEString SEPMap::map(int code) const
{
  for (const Entry* e = m_table; e && e->name; ++e) {
    if (e->code == code) return SEString(e->name);
  }
  return SEString();
}

int SEPMap::map(const char* name) const
{
  if (!name) return -1;
  for (const Entry* e = m_table; e && e->name; ++e) {
    if (strcmp(e->name, name) == 0) return e->code;
  }
  return -1;
}
