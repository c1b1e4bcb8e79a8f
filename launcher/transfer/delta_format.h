// The binary delta of one file against an earlier content of it, and the compressed whole
// file, as the publisher's tool writes them and the launcher decodes them (docs/delta-format.md).
// Pure logic: built natively and fuzzed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "launcher/transfer/md5.h"

constexpr unsigned char kDeltaMagic[8] = {'T', 'a', 'l', 'v', 'D', 'l', 't', 0x1A};
constexpr std::uint32_t kDeltaVersion = 1;
constexpr std::size_t kDeltaHeaderSize = 104;

// zstd windows of the streams and of the whole-file form: the decoder refuses frames that ask
// for more, so a 32-bit launcher decodes any file within kDecodeMemoryBound.
constexpr int kDeltaStreamWindowLog = 23;  // 8 MiB for each of the three delta streams
constexpr int kWholeFileWindowLog = 25;    // 32 MiB for the one stream of a whole file
constexpr std::uint64_t kDecodeMemoryBound = 64ull << 20;

// A control record's lengths are bounded so that one record never asks for more than a
// 32-bit process can count in one go; the encoder splits longer runs.
constexpr std::uint64_t kDeltaMaxRun = 0x7FFFFFFFu;

enum class DeltaStream { kControl = 0, kAdd = 1, kInsert = 2 };
constexpr int kDeltaStreamCount = 3;

struct DeltaHeader {
  std::uint32_t version = kDeltaVersion;
  std::uint32_t flags = 0;
  std::uint64_t sourceSize = 0;
  std::uint64_t resultSize = 0;
  unsigned char sourceMd5[kMd5DigestSize] = {};
  unsigned char resultMd5[kMd5DigestSize] = {};
  std::uint64_t streamSize[kDeltaStreamCount] = {};  // compressed bytes of each stream, in order
};

// Writes the fixed header (kDeltaHeaderSize bytes).
void WriteDeltaHeader(const DeltaHeader& header, unsigned char out[kDeltaHeaderSize]);

enum class DeltaHeaderResult { kOk, kBadMagic, kBadVersion, kBadFlags, kBadSizes };
// Reads and checks the header of a delta of deltaSize bytes: magic, version, no unknown
// flags, and stream sizes that add up to the bytes after the header.
DeltaHeaderResult ReadDeltaHeader(const unsigned char in[kDeltaHeaderSize], std::uint64_t deltaSize,
                                  DeltaHeader* header);
const char* DescribeDeltaHeaderResult(DeltaHeaderResult result);

// Control records are three LEB128 numbers: add length, insert length, and the zigzag form of
// the signed step of the source position. At most 10 bytes each.
constexpr std::size_t kVarintMax = 10;
std::size_t PutVarint(std::uint64_t value, unsigned char out[kVarintMax]);
inline std::uint64_t ZigZag(std::int64_t value) {
  return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}
inline std::int64_t UnZigZag(std::uint64_t value) {
  return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}
