#include <cstring>

#include "VoiceHost/sid/types/SEIntList.h"
#include "VoiceHost/sid/types/SEStringList.h"

int& SEIntList::operator[](size_t i)
{
  if (int* e = mutable_at(i)) return *e;
  thread_local int scratch;
  scratch = 0;
  return scratch;
}

SEIntList SEIntList::split(const SEString& str, char sep, char esc)
{
  SEStringList fields;
  Sid::split_fields(str, sep, esc, false, fields);
  SEIntList result;
  for (size_t i = 0; i < fields.size(); ++i) result.append(static_cast<const SEStringList&>(fields)[i].toInt());
  return result;
}

void SEStringList::append(const SEString& value)
{
  SEValueList<SEString>::append(value.isNull() ? SEString("") : value);
}

SEString SEStringList::join(const char* sep, bool escape) const
{
  if (size() == 0) return SEString();
  SEString result("");
  for (size_t i = 0; i < size(); ++i) {
    if (i && sep) result += sep;
    const SEString& e = (*this)[i];
    result += escape ? e.escape() : e;
  }
  return result;
}

SEStringList SEStringList::split(const SEString& str, char sep, char esc)
{
  SEStringList result;
  Sid::split_fields(str, sep, esc, esc != 0, result);
  return result;
}

namespace Sid {

void split_fields(const SEString& str, char sep, char esc, bool quotes, SEStringList& out)
{
  const char* p = str.data();
  size_t len = strlen(p);
  size_t i = 0;
  while (i < len) {
    while (i < len && p[i] == sep) ++i;  // leading separators and runs
    if (i >= len) break;
    size_t start = i;
    bool quoted = false;
    while (i < len) {
      char c = p[i];
      if (esc && c == esc && i + 1 < len) {
        i += 2;
        continue;
      }
      if (quotes && c == '"') quoted = !quoted;
      if (c == sep && !quoted) break;
      ++i;
    }
    SEString field("");
    char* buf = field.raw_buffer(static_cast<unsigned>(i - start));
    memcpy(buf, p + start, i - start);
    buf[i - start] = '\0';
    out.append(field);
  }
}

}  // namespace Sid
