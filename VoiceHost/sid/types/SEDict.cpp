#include "VoiceHost/sid/types/SEDict.h"

namespace {
template <class Dict>
SEIntList int_keys(const Dict& dict)
{
  SEIntList keys;
  for (size_t i = 0; i < dict.size(); ++i) keys.append(dict.keyAt(i));
  return keys;
}
}  // namespace

void SEIntDict::insert(int key, const SEString& value, bool only_existing)
{
  if (only_existing && !contains(key)) return;
  insert(key, value);
}

SEIntList SEIntDict::keys() const { return int_keys(*this); }

SEString SEIntDict::format() const
{
  SEString result("");
  for (size_t i = 0; i < size(); ++i) {
    if (i) result += " ";
    result += SEString::from(keyAt(i));
    result += "=\"";
    result += (*this)[i];
    result += "\"";
  }
  return result;
}

void SEPtrDict::insert(const SEString& key, void* value)
{
  if (key.isNull()) return;
  SEDictBase::insert(key, value);
}

SEStringList SEPtrDict::keys() const
{
  SEStringList keys;
  for (size_t i = 0; i < size(); ++i) keys.append(keyAt(i));
  return keys;
}

SEIntList SEObjDict::keys() const { return int_keys(*this); }

SEIntList SEPtrIntDict::keys() const { return int_keys(*this); }
