#include "launcher/core/text.h"

#include <cstdio>
#include <cstring>
#include <limits>

bool CopyString(char* dst, std::size_t size, const char* src) {
  if (dst == nullptr || size == 0) return false;
  if (src == nullptr) src = "";
  std::size_t len = std::strlen(src);
  bool fits = len < size;
  if (!fits) len = size - 1;
  std::memmove(dst, src, len);
  dst[len] = '\0';
  return fits;
}

bool AppendString(char* dst, std::size_t size, const char* src) {
  if (dst == nullptr || size == 0) return false;
  std::size_t used = strnlen(dst, size);
  if (used >= size) {  // not terminated: repair rather than read past the buffer
    dst[size - 1] = '\0';
    return false;
  }
  return CopyString(dst + used, size - used, src);
}

bool FormatStringV(char* dst, std::size_t size, const char* fmt, va_list args) {
  if (dst == nullptr || size == 0) return false;
  if (fmt == nullptr) {
    dst[0] = '\0';
    return true;
  }
  int n = std::vsnprintf(dst, size, fmt, args);
  if (n < 0) {
    dst[0] = '\0';
    return false;
  }
  return static_cast<std::size_t>(n) < size;
}

bool FormatString(char* dst, std::size_t size, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  bool ok = FormatStringV(dst, size, fmt, args);
  va_end(args);
  return ok;
}

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Compares at most n bytes (n == SIZE_MAX: to the terminator). Returns true when equal.
bool EqualBytesNoCase(const char* a, const char* b, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (IsLeadByte(ca)) {
      if (ca != cb) return false;
      if (i + 1 >= n) return true;
      if (a[i + 1] != b[i + 1]) return false;
      if (a[i + 1] == '\0') return true;
      i += 2;
      continue;
    }
    if (Fold(ca) != Fold(cb)) return false;
    if (ca == '\0') return true;
    ++i;
  }
  return true;
}

}  // namespace

bool EqualsNoCase(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return EqualBytesNoCase(a, b, static_cast<std::size_t>(-1));
}

bool StartsWithNoCase(const char* text, const char* prefix, std::size_t n) {
  if (text == nullptr || prefix == nullptr) return false;
  return EqualBytesNoCase(text, prefix, n);
}

std::uint64_t LeadingNumber(const char* text, const char** end) {
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  if (text != nullptr) {
    for (; *text >= '0' && *text <= '9'; ++text) {
      const unsigned digit = static_cast<unsigned>(*text - '0');
      value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
  }
  if (end != nullptr) *end = text;
  return value;
}

namespace {

// Magnitude of the digits (saturated at UINT64_MAX) and the sign.
std::uint64_t Magnitude(const char* text, bool* negative) {
  *negative = false;
  if (text == nullptr) return 0;
  while (IsBlank(*text)) ++text;
  if (*text == '+' || *text == '-') *negative = (*text++ == '-');
  return LeadingNumber(text);
}

template <typename T>
T Signed(const char* text) {
  bool negative;
  const std::uint64_t m = Magnitude(text, &negative);
  const std::uint64_t max = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  if (!negative) return m > max ? std::numeric_limits<T>::max() : static_cast<T>(m);
  if (m > max) return std::numeric_limits<T>::min();
  return static_cast<T>(-static_cast<T>(m));
}

}  // namespace

int LeadingInt(const char* text) { return Signed<int>(text); }

std::int64_t LeadingInt64(const char* text) { return Signed<std::int64_t>(text); }

std::uint64_t LeadingUInt64(const char* text) {
  bool negative;
  const std::uint64_t m = Magnitude(text, &negative);
  if (m == std::numeric_limits<std::uint64_t>::max()) return m;
  return negative ? 0 - m : m;
}
