#ifndef SID_TYPES_SESTRING_H
#define SID_TYPES_SESTRING_H

#include <atomic>
#include <cstdarg>
#include <cstddef>

// A reference-counted, copy-on-write string. The null string (no text at all)
// and the empty string "" are different values. Handles that share one text may
// be used and destroyed on different threads; one handle must not be changed
// from two threads at once.
class SEString {
public:
  SEString() = default;
  SEString(const char* text);  // NOLINT: implicit, as the callers expect
  // A string of capacity n + 1 whose text the caller fills (see raw_buffer).
  explicit SEString(unsigned n);
  SEString(const SEString& other);
  SEString(SEString&& other) noexcept : d(other.d) { other.d = nullptr; }
  ~SEString() { release(); }

  SEString& operator=(const char* text);
  SEString& operator=(const SEString& other);
  SEString& operator=(SEString&& other) noexcept;

  bool isNull() const { return d == nullptr; }
  size_t length() const;
  size_t size() const { return length(); }
  // The text; "" for the null string, never a null pointer.
  const char* data() const;
  operator const char*() const { return data(); }

  bool equals(const SEString& other) const;
  bool equals(const char* text) const;
  bool operator==(const SEString& other) const { return equals(other); }
  bool operator==(const char* text) const { return equals(text); }
  bool operator!=(const SEString& other) const { return !equals(other); }
  bool operator!=(const char* text) const { return !equals(text); }

  SEString& operator+=(const char* text);
  SEString& operator+=(const SEString& other);

  SEString& Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  SEString& vFormat(const char* fmt, va_list ap) __attribute__((format(printf, 2, 0)));

  static SEString from(int value);
  static SEString from(unsigned value, int base = 10);
  static SEString from(unsigned long long value);
  static SEString from(bool value);
  static SEString from(unsigned char value);
  // An escaped binary: NUL becomes backslash '0'; ',' '"' '\' get a backslash.
  static SEString from(const char* bytes, unsigned n);

  int toInt() const;
  unsigned toUInt() const;
  unsigned long long toUInt64() const;
  bool toBool() const;

  // Inclusive range, with the clamping and swapping rules of the type.
  SEString substr(int from, int to) const;
  SEString right(unsigned n) const;
  bool startWith(const SEString& prefix) const;
  SEString trim(const SEString& prefix) const;
  int find(char c) const { return find(0, c); }
  int find(int start, char c) const;
  unsigned hash(unsigned n) const;
  SEString escape() const;
  SEString unescape() const;
  static SEString keyValue(const SEString& key, const SEString& value);
  SEString deepCopy() const;

  void markAsBinary();
  bool isBinary() const;
  // Decodes the escaped binary form into out, which must hold length() bytes;
  // returns the byte count.
  unsigned toBinary(char* out) const;
  unsigned toBinary(char* out, unsigned capacity) const;
  SEString getHexRepresentation() const;

  // Makes this string the sole owner of a buffer of at least capacity + 1 bytes
  // that keeps the current text, and returns it for the caller to fill; the
  // caller must NUL-terminate what it writes. Used by decoders.
  char* raw_buffer(unsigned capacity);
  // As raw_buffer, but the current text is dropped (and the binary mark
  // cleared): the buffer is reused when this string owns one big enough.
  char* prepare(unsigned capacity);
  unsigned capacity() const;

private:
  struct Data {
    std::atomic<unsigned> ref{1};
    char* str = nullptr;
    unsigned real_size = 0;  // bytes allocated for str
    bool isBin = false;
  };

  static Data* make(const char* text, size_t len, size_t capacity, bool bin);
  void release();
  void detach();
  void append(const char* text, size_t len);

  Data* d = nullptr;
};

SEString operator+(const SEString& a, const SEString& b);
SEString operator+(const SEString& a, const char* b);

// A file name: an SEString with no behaviour of its own.
class SEFilename : public SEString {
public:
  SEFilename() = default;
  SEFilename(const char* text) : SEString(text) {}          // NOLINT
  SEFilename(const SEString& text) : SEString(text) {}      // NOLINT
  explicit SEFilename(unsigned n) : SEString(n) {}
};

#endif
