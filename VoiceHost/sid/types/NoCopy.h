#ifndef SID_TYPES_NOCOPY_H
#define SID_TYPES_NOCOPY_H

// Base of the types that own an operating-system object and must not be copied.
class NoCopy {
protected:
  NoCopy() = default;
  ~NoCopy() = default;

public:
  NoCopy(const NoCopy&) = delete;
  NoCopy& operator=(const NoCopy&) = delete;
};

#endif
