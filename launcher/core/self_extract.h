// The self-extracting patch trailer at the end of a launcher executable, read through a
// byte source so the arithmetic is the same on a file and in memory.
//
// Layout from the end: [archive ...][a][b][c][n filler bytes][n][begin][end][certificates]
// a, b, c, begin and end are unsigned 32-bit little-endian; n is one byte.
#pragma once
#include <cstddef>
#include <cstdint>

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::int64_t Size() = 0;
  // Reads exactly length bytes at offset; false when that is not possible.
  virtual bool ReadAt(std::int64_t offset, void* buffer, std::size_t length) = 0;
};

class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const void* data, std::size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  std::int64_t Size() override { return static_cast<std::int64_t>(size_); }
  bool ReadAt(std::int64_t offset, void* buffer, std::size_t length) override;

 private:
  const unsigned char* data_;
  std::size_t size_;
};

constexpr std::uint32_t kTrailerSum = 0xCDCDCDCDu;

struct SelfExtractTrailer {
  std::uint32_t a = 0;  // offset of the archive
  std::uint32_t b = 0;  // length of the archive
  std::uint32_t c = 0;  // balances the sum
  std::int64_t p = 0;   // offset just behind c: the end of the data the archive lies in
};

// True when the trailer is valid: a + b + c == 0xCDCDCDCD, a != 0, b != 0, b < P. A source
// too short for the offsets has no valid trailer.
bool ReadSelfExtractTrailer(ByteSource& source, std::uint32_t securitySize, SelfExtractTrailer* out);

// The version range stored just before the certificate table.
bool ReadExePatchRange(ByteSource& source, std::uint32_t securitySize, std::uint32_t* begin,
                       std::uint32_t* end);
