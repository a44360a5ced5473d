#ifndef SID_TYPES_SESTRINGLIST_H
#define SID_TYPES_SESTRINGLIST_H

#include "VoiceHost/sid/types/SEList.h"
#include "VoiceHost/sid/types/SEString.h"

class SEStringList : public SEValueList<SEString> {
public:
  // The null string is appended as "".
  void append(const SEString& value);
  // Growing appends "".
  void resize(size_t n) { resize_to(n, SEString("")); }
  // The elements joined with sep (each escaped when asked); null when empty.
  SEString join(const char* sep, bool escape = false) const;
  // Fields between separators: leading separators skipped, a run of separators
  // taken as one, a separator after esc does not split; with a non-zero esc a
  // separator inside a double-quoted stretch does not split either.
  static SEStringList split(const SEString& str, char sep = ',', char esc = 0);
};

class SEFilenameList : public SEValueList<SEFilename> {};

namespace Sid {
// Splits into raw fields (shared by the list types).
void split_fields(const SEString& str, char sep, char esc, bool quotes, SEStringList& out);
}  // namespace Sid

#endif
