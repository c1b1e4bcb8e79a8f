// A FileMan over bytes in memory, for tests and fuzzing. The declared size may exceed the
// bytes held, to stand for a stream that delivers less than it claims.
#pragma once
#include <cstdint>
#include <cstring>

#include "launcher/storage/file_stream.h"

class MemoryStream : public FileMan {
 public:
  MemoryStream(const void* data, std::uint64_t held, std::uint64_t declared)
      : FileMan(declared), data_(static_cast<const unsigned char*>(data)), held_(held) {}
  MemoryStream(const void* data, std::uint64_t size) : MemoryStream(data, size, size) {}

 protected:
  std::uint64_t ReadRaw(void* buffer, std::uint32_t count) override {
    if (m_position >= held_) return 0;
    const std::uint64_t n = held_ - m_position < count ? held_ - m_position : count;
    std::memcpy(buffer, data_ + m_position, static_cast<std::size_t>(n));
    return n;
  }
  void SeekRaw(std::uint64_t) override {}  // reads go by m_position

 private:
  const unsigned char* data_;
  std::uint64_t held_;
};
