#include "launcher/core/self_extract.h"

#include <cstring>

bool MemoryByteSource::ReadAt(std::int64_t offset, void* buffer, std::size_t length) {
  if (offset < 0 || static_cast<std::uint64_t>(offset) > size_ || length > size_ - static_cast<std::size_t>(offset)) {
    return false;
  }
  std::memcpy(buffer, data_ + offset, length);
  return true;
}

namespace {

std::uint32_t LoadLE32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

bool ReadSelfExtractTrailer(ByteSource& source, std::uint32_t securitySize, SelfExtractTrailer* out) {
  const std::int64_t end = source.Size() - static_cast<std::int64_t>(securitySize);
  unsigned char n = 0;
  if (end - 9 < 0 || !source.ReadAt(end - 9, &n, 1)) return false;
  const std::int64_t valuesAt = end - 21 - n;
  unsigned char values[12];
  if (valuesAt < 0 || !source.ReadAt(valuesAt, values, sizeof(values))) return false;
  SelfExtractTrailer t;
  t.a = LoadLE32(values);
  t.b = LoadLE32(values + 4);
  t.c = LoadLE32(values + 8);
  t.p = end - 9 - n;
  const std::uint32_t sum = t.a + t.b + t.c;  // modulo 2^32
  if (sum != kTrailerSum || t.a == 0 || t.b == 0 || static_cast<std::int64_t>(t.b) >= t.p) return false;
  if (out != nullptr) *out = t;
  return true;
}

bool ReadExePatchRange(ByteSource& source, std::uint32_t securitySize, std::uint32_t* begin,
                       std::uint32_t* end) {
  const std::int64_t at = source.Size() - static_cast<std::int64_t>(securitySize) - 8;
  unsigned char values[8];
  if (at < 0 || !source.ReadAt(at, values, sizeof(values))) return false;
  if (begin != nullptr) *begin = LoadLE32(values);
  if (end != nullptr) *end = LoadLE32(values + 4);
  return true;
}
