#ifndef SID_TYPES_SEPMAP_H
#define SID_TYPES_SEPMAP_H

#include "VoiceHost/sid/types/SEString.h"

// A constant table of (name, code) pairs ended by a null name.
class SEPMap {
public:
  struct Entry {
    const char* name;
    int code;
  };

  explicit SEPMap(const Entry* table) : m_table(table) {}

  // The name of the first pair with this code; the null string when none.
  SEString map(int code) const;
  // The code of the first pair with this name; -1 when none.
  int map(const char* name) const;

private:
  const Entry* m_table;
};

#endif
