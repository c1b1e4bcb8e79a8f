// Decodes the two transfer forms of a file (docs/delta-format.md): a delta applied to the
// installed content, and a compressed whole file. The source is read by offset, the result
// written in order, and memory stays within kDecodeMemoryBound whatever the file sizes. Any
// fault of the input (truncation, a record reaching outside either file, a corrupt or too
// demanding zstd stream, a wrong digest) is one log line and a false result.
#pragma once
#include <cstddef>
#include <cstdint>

#include "launcher/transfer/delta_format.h"

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly n bytes at offset; false when they cannot all be read.
  virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends n bytes; false when they could not be written.
  virtual bool Write(const void* data, std::size_t n) = 0;
};

// A source over bytes in memory (tests, fuzzing, small documents).
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, std::size_t size) : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}
  std::uint64_t Size() const override { return m_size; }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

 private:
  const unsigned char* m_data;
  std::size_t m_size;
};

// Applies delta to source, writing the result to sink. name labels the log lines. When
// expectedMd5 is given, the delta must also claim that result (a stale delta is refused
// before any byte is written).
bool ApplyDelta(ByteSource& delta, ByteSource& source, ByteSink& sink, const char* name,
                const unsigned char* expectedMd5 = nullptr);

// Decompresses a whole-file form into sink; the result must have expectedSize bytes and the
// digest expectedMd5.
bool DecompressWholeFile(ByteSource& packed, std::uint64_t expectedSize, const unsigned char* expectedMd5,
                         ByteSink& sink, const char* name);

// Reads a delta's header alone (the launcher matches its source against the installed file).
bool ReadDeltaHeaderFrom(ByteSource& delta, DeltaHeader* header, const char* name);
