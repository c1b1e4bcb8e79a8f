#include "launcher/transfer/delta_format.h"

#include <cstring>

namespace {

void Put32(unsigned char* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put64(unsigned char* out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t Get32(const unsigned char* in) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | in[i];
  return v;
}
std::uint64_t Get64(const unsigned char* in) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | in[i];
  return v;
}

// Offsets of the header fields.
constexpr std::size_t kAtVersion = 8;
constexpr std::size_t kAtFlags = 12;
constexpr std::size_t kAtSourceSize = 16;
constexpr std::size_t kAtResultSize = 24;
constexpr std::size_t kAtSourceMd5 = 32;
constexpr std::size_t kAtResultMd5 = 48;
constexpr std::size_t kAtStreams = 64;
constexpr std::size_t kAtReserved = 88;  // 16 bytes of zeros
static_assert(kAtReserved + 16 == kDeltaHeaderSize, "header layout");

}  // namespace

void WriteDeltaHeader(const DeltaHeader& header, unsigned char out[kDeltaHeaderSize]) {
  std::memset(out, 0, kDeltaHeaderSize);
  std::memcpy(out, kDeltaMagic, sizeof kDeltaMagic);
  Put32(out + kAtVersion, header.version);
  Put32(out + kAtFlags, header.flags);
  Put64(out + kAtSourceSize, header.sourceSize);
  Put64(out + kAtResultSize, header.resultSize);
  std::memcpy(out + kAtSourceMd5, header.sourceMd5, kMd5DigestSize);
  std::memcpy(out + kAtResultMd5, header.resultMd5, kMd5DigestSize);
  for (int i = 0; i < kDeltaStreamCount; ++i) Put64(out + kAtStreams + 8 * i, header.streamSize[i]);
}

DeltaHeaderResult ReadDeltaHeader(const unsigned char in[kDeltaHeaderSize], std::uint64_t deltaSize,
                                  DeltaHeader* header) {
  if (deltaSize < kDeltaHeaderSize || std::memcmp(in, kDeltaMagic, sizeof kDeltaMagic) != 0)
    return DeltaHeaderResult::kBadMagic;
  header->version = Get32(in + kAtVersion);
  if (header->version != kDeltaVersion) return DeltaHeaderResult::kBadVersion;
  header->flags = Get32(in + kAtFlags);
  if (header->flags != 0) return DeltaHeaderResult::kBadFlags;
  header->sourceSize = Get64(in + kAtSourceSize);
  header->resultSize = Get64(in + kAtResultSize);
  std::memcpy(header->sourceMd5, in + kAtSourceMd5, kMd5DigestSize);
  std::memcpy(header->resultMd5, in + kAtResultMd5, kMd5DigestSize);
  std::uint64_t left = deltaSize - kDeltaHeaderSize;
  for (int i = 0; i < kDeltaStreamCount; ++i) {
    header->streamSize[i] = Get64(in + kAtStreams + 8 * i);
    if (header->streamSize[i] > left) return DeltaHeaderResult::kBadSizes;
    left -= header->streamSize[i];
  }
  if (left != 0) return DeltaHeaderResult::kBadSizes;
  return DeltaHeaderResult::kOk;
}

const char* DescribeDeltaHeaderResult(DeltaHeaderResult result) {
  switch (result) {
    case DeltaHeaderResult::kOk: return "ok";
    case DeltaHeaderResult::kBadMagic: return "not a delta";
    case DeltaHeaderResult::kBadVersion: return "unknown version";
    case DeltaHeaderResult::kBadFlags: return "unknown flags";
    case DeltaHeaderResult::kBadSizes: return "stream sizes do not match the delta's size";
  }
  return "?";
}

std::size_t PutVarint(std::uint64_t value, unsigned char out[kVarintMax]) {
  std::size_t n = 0;
  while (value >= 0x80) {
    out[n++] = static_cast<unsigned char>(value | 0x80);
    value >>= 7;
  }
  out[n++] = static_cast<unsigned char>(value);
  return n;
}
