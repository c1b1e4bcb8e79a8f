#include "launcher/storage/file_stream.h"

#include <cstring>

namespace {

int SeekFile(std::FILE* file, std::uint64_t position) {
  if (position > static_cast<std::uint64_t>(INT64_MAX)) return -1;
#if defined(_WIN32)
  return _fseeki64(file, static_cast<long long>(position), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(position), SEEK_SET);
#endif
}

std::int64_t TellFile(std::FILE* file) {
#if defined(_WIN32)
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

}  // namespace

std::uint64_t FileMan::Read(void* buffer, std::uint32_t count) {
  const std::uint64_t remaining = m_position < m_size ? m_size - m_position : 0;
  if (count > remaining) count = static_cast<std::uint32_t>(remaining);
  if (count == 0) return 0;
  // What the underlying stream really delivered: a short read (a file shorter than the
  // size it was opened with, a window reaching past its inner stream) must not pass for
  // data the caller then writes out.
  std::uint64_t delivered = ReadRaw(buffer, count);
  if (delivered > count) delivered = count;
  m_position += delivered;
  return delivered;
}

void FileMan::Seek(std::int64_t offset, int origin) {
  std::uint64_t target = static_cast<std::uint64_t>(offset);
  if (origin == 1) {
    target = m_position + static_cast<std::uint64_t>(offset);
  } else if (origin == 2) {
    target = m_size + static_cast<std::uint64_t>(offset);
  }
  if (target == m_position) return;
  SeekRaw(target);
  m_position = target;
}

std::uint32_t FileMan::FindZipEnd() {
  static const unsigned char kSignature[4] = {'P', 'K', 5, 6};
  constexpr std::uint32_t kBlock = 28;
  // The block goes right-aligned before the last 4 bytes, which still hold the first 4
  // bytes of the block read before it (later in the stream): a signature that straddles
  // two blocks is found, also when the first block of the stream is a short one. Behind
  // the end of the stream the window holds zeros, which the signature never matches.
  unsigned char window[kBlock + 4] = {};
  if (m_size > 0xFFFFFFFFull) return kZipNotFound;  // outside what the reader handles
  std::uint32_t end = static_cast<std::uint32_t>(m_size);
  while (end > 0) {
    const std::uint32_t start = end > kBlock ? end - kBlock : 0;
    const std::uint32_t length = end - start;
    unsigned char* block = window + (kBlock - length);
    Seek(start, 0);
    if (Read(block, length) != length) return kZipNotFound;
    for (std::uint32_t i = 0; i < length; ++i) {
      if (std::memcmp(block + i, kSignature, sizeof(kSignature)) == 0) return start + i;
    }
    std::memmove(window + kBlock, block, 4);
    end = start;
  }
  return kZipNotFound;
}

FileStream::FileStream(std::FILE* file, std::uint64_t size) : FileMan(size), m_file(file) {
  if (m_file != nullptr) SeekFile(m_file, 0);
}

FileStream::~FileStream() {
  if (m_file != nullptr) std::fclose(m_file);
}

FileStream* FileStream::Open(const char* path) {
  if (path == nullptr) return nullptr;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  std::int64_t size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = TellFile(file);
  if (size < 0) {
    std::fclose(file);
    return nullptr;
  }
  return new FileStream(file, static_cast<std::uint64_t>(size));
}

std::uint64_t FileStream::ReadRaw(void* buffer, std::uint32_t count) {
  if (m_file == nullptr) return 0;
  return std::fread(buffer, 1, count, m_file);
}

void FileStream::SeekRaw(std::uint64_t position) {
  if (m_file == nullptr) return;
  if (SeekFile(m_file, position) != 0) {
    // Leave the file at its end so that reads deliver nothing rather than wrong bytes.
    std::fseek(m_file, 0, SEEK_END);
  }
}

FileStreamPacked::FileStreamPacked(FileMan* inner, std::uint64_t base, std::uint64_t size, bool ownsInner)
    : FileMan(size), m_inner(inner), m_base(base), m_ownsInner(ownsInner) {}

FileStreamPacked::~FileStreamPacked() {
  if (m_ownsInner) delete m_inner;
}

std::uint64_t FileStreamPacked::ReadRaw(void* buffer, std::uint32_t count) {
  if (m_inner == nullptr) return 0;
  m_inner->Seek(static_cast<std::int64_t>(m_base + m_position), 0);
  return m_inner->Read(buffer, count);
}

void FileStreamPacked::SeekRaw(std::uint64_t position) {
  if (m_inner != nullptr) m_inner->Seek(static_cast<std::int64_t>(m_base + position), 0);
}
