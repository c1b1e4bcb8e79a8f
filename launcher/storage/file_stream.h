// Seekable streams the zip reader works on: a stdio file, and a window onto another stream
// (the archive appended to the launcher's own executable), so that the archive's own
// offsets work unchanged. No Windows header: built and fuzzed on the host too.
#pragma once
#include <cstdint>
#include <cstdio>

constexpr std::uint32_t kZipNotFound = 0xFFFFFFFFu;

class File {
 public:
  virtual ~File() = default;
  // Delivers at most count bytes from the current position; 0 at the end of the stream.
  virtual std::uint64_t Read(void* buffer, std::uint32_t count) = 0;
  // origin 0: from the start, 1: from the current position, 2: from the end.
  virtual void Seek(std::int64_t offset, int origin) = 0;
  virtual std::uint64_t Tell() = 0;
  virtual std::uint64_t GetSize() = 0;
};

// A stream with a position and a size; each kind of stream supplies only the raw access.
class FileMan : public File {
 public:
  std::uint64_t Read(void* buffer, std::uint32_t count) override;
  void Seek(std::int64_t offset, int origin) override;
  std::uint64_t Tell() override { return m_position; }
  std::uint64_t GetSize() override { return m_size; }

  // Offset of the last "PK\5\6" signature block found searching backwards from the end, in
  // 28-byte steps; kZipNotFound when there is none (or the stream reads short).
  std::uint32_t FindZipEnd();

 protected:
  explicit FileMan(std::uint64_t size) : m_size(size) {}
  // Reads at the current underlying position; returns the count actually delivered.
  virtual std::uint64_t ReadRaw(void* buffer, std::uint32_t count) = 0;
  virtual void SeekRaw(std::uint64_t position) = 0;

  std::uint64_t m_position = 0;
  std::uint64_t m_size = 0;
};

// Owns an open stdio file and closes it when it goes.
class FileStream : public FileMan {
 public:
  // The stream covers the first size bytes of the file; it starts at position 0.
  FileStream(std::FILE* file, std::uint64_t size);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Opens path for binary reading, sized by its end position. nullptr when it cannot.
  static FileStream* Open(const char* path);

 protected:
  std::uint64_t ReadRaw(void* buffer, std::uint32_t count) override;
  void SeekRaw(std::uint64_t position) override;

 private:
  std::FILE* m_file;
};

// Bytes [base, base + size) of the inner stream, seen as a stream of its own from 0.
class FileStreamPacked : public FileMan {
 public:
  FileStreamPacked(FileMan* inner, std::uint64_t base, std::uint64_t size, bool ownsInner);
  ~FileStreamPacked() override;
  FileStreamPacked(const FileStreamPacked&) = delete;
  FileStreamPacked& operator=(const FileStreamPacked&) = delete;

 protected:
  std::uint64_t ReadRaw(void* buffer, std::uint32_t count) override;
  void SeekRaw(std::uint64_t position) override;

 private:
  FileMan* m_inner;
  std::uint64_t m_base;
  bool m_ownsInner;
};
