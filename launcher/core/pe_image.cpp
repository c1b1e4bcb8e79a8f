#include "launcher/core/pe_image.h"

namespace {

bool Load32(const unsigned char* image, std::size_t size, std::uint64_t at, std::uint32_t* out) {
  if (at > size || size - at < 4) return false;
  const unsigned char* p = image + at;
  *out = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  return true;
}

}  // namespace

bool PeCertificateTableSize(const unsigned char* image, std::size_t size, std::uint32_t* out) {
  if (image == nullptr || size < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
  std::uint32_t ntOffset = 0;
  if (!Load32(image, size, 0x3C, &ntOffset)) return false;
  std::uint32_t signature = 0;
  if (!Load32(image, size, ntOffset, &signature) || signature != 0x00004550u) return false;  // "PE\0\0"
  const std::uint64_t magicAt = static_cast<std::uint64_t>(ntOffset) + 24;
  if (magicAt > size || size - magicAt < 2) return false;
  const unsigned magic = image[magicAt] | (image[magicAt + 1] << 8);
  std::uint64_t fieldAt = 0;
  if (magic == 0x10B) {
    fieldAt = static_cast<std::uint64_t>(ntOffset) + 156;
  } else if (magic == 0x20B) {
    fieldAt = static_cast<std::uint64_t>(ntOffset) + 172;
  } else {
    return false;
  }
  return Load32(image, size, fieldAt, out);
}
