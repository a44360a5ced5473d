#ifndef SID_TYPES_SEINTLIST_H
#define SID_TYPES_SEINTLIST_H

#include "VoiceHost/sid/types/SEList.h"
#include "VoiceHost/sid/types/SEString.h"

class SEIntList : public SEListBase<int> {
public:
  // The element, or 0 when out of range.
  int operator[](size_t i) const
  {
    const int* e = at(i);
    return e ? *e : 0;
  }
  // A reference to the element (the list is detached first when shared, so a
  // write never shows through another handle); out of range: a scratch zero.
  int& operator[](size_t i);
  int peek() { return take_first(); }
  void resize(size_t n) { resize_to(n, 0); }

  // Fields between separators converted with toInt; see SEStringList::split.
  static SEIntList split(const SEString& str, char sep = ',', char esc = 0);
};

#endif
