#include "launcher/core/text.h"

#include <cstdio>
#include <cstring>

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
