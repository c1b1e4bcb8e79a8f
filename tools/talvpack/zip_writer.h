// A small zip writer for talvpack: stored or deflated entries, no data descriptors, no
// ZIP64 (what the launcher's own reader takes). Entry names are written as given.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/talvpack/progress.h"

class ZipWriter {
 public:
  ZipWriter() = default;
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  bool Open(const std::filesystem::path& path, std::string* error);
  // level 0 stores; 1-9 deflate, and store anyway when deflating does not make it smaller.
  bool AddFile(const std::string& name, const std::filesystem::path& sourcePath, int level, std::string* error);
  // A small file made here (stored).
  bool AddBytes(const std::string& name, const std::string& data, std::uint16_t dosDate, std::uint16_t dosTime,
                std::string* error);
  bool AddDirectory(const std::string& name, std::uint16_t dosDate, std::uint16_t dosTime, std::string* error);
  bool Close(std::string* error);

 private:
  struct Entry {
    std::string name;
    std::uint16_t method, dosTime, dosDate;
    std::uint32_t crc, compressedSize, uncompressedSize, localOffset;
    bool directory;
  };
  static void PutSharedFields(unsigned char* p, const Entry& e);
  bool WriteLocalHeader(const Entry& e);
  bool WriteBytes(const void* data, std::size_t size);
  bool SeekTo(std::uint64_t position);
  bool CopyData(std::FILE* in, Entry& e, int level, std::string* error);

  std::FILE* out_ = nullptr;
  std::filesystem::path path_;
  std::uint64_t end_ = 0;  // where the next record goes
  std::vector<Entry> entries_;
};

// One entry of an archive written whole: a file (source), a folder (name ends in "/"), or
// bytes made here.
struct ZipItem {
  std::string name;  // as the launcher reads it: code page 950, "/" separators
  std::filesystem::path source;
  bool folder = false;
  std::string bytes;
};

// Writes items in order into path, then reads the archive back with the launcher's own
// reader: every name as written, in that order.
bool WriteZipArchive(const std::filesystem::path& path, const std::vector<ZipItem>& items, int level,
                     std::string* error, talvpack::Progress* progress = nullptr);

// DOS date and time of a file's modification time, as local time.
bool DosTimeOfFile(const std::filesystem::path& path, std::uint16_t* dosDate, std::uint16_t* dosTime);
