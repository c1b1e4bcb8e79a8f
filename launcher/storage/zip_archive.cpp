#include "launcher/storage/zip_archive.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <new>
#if defined(_WIN32)
#include <share.h>
#endif

#include "launcher/core/paths.h"
#include "launcher/storage/file_time.h"

namespace {

constexpr std::uint32_t kCentralFixed = 46;
constexpr std::uint32_t kLocalFixed = 30;
// The local extra field is read into an area that holds exactly one ZIP64 record.
constexpr std::uint32_t kLocalExtraArea = 20;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint32_t kSize32Escape = 0xFFFFFFFFu;

std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t Le64(const unsigned char* p) {
  return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

// One central directory entry, known to lie wholly inside the loaded directory.
struct CentralEntry {
  const unsigned char* fixed = nullptr;
  const char* name = nullptr;
  std::uint16_t nameLength = 0;
  std::uint32_t LocalOffset() const { return Le32(fixed + 42); }
  std::uint32_t Crc() const { return Le32(fixed + 16); }
  std::uint32_t CompressedSize() const { return Le32(fixed + 20); }
  std::uint32_t UncompressedSize() const { return Le32(fixed + 24); }
};

// The entry at *offset, and *offset moved to the next one. False when no complete entry
// starts there: the walk ends.
bool NextEntry(const ZipArchive& archive, std::uint32_t* offset, CentralEntry* entry) {
  const std::uint64_t at = *offset;
  if (archive.directory == nullptr || at + kCentralFixed > archive.directorySize) return false;
  const unsigned char* fixed = archive.directory + at;
  const std::uint64_t next = at + kCentralFixed + Le16(fixed + 28) + Le16(fixed + 30) + Le16(fixed + 32);
  if (next > archive.directorySize) return false;
  entry->fixed = fixed;
  entry->name = reinterpret_cast<const char*>(fixed + kCentralFixed);
  entry->nameLength = Le16(fixed + 28);
  *offset = static_cast<std::uint32_t>(next);
  return true;
}

bool FindCentralEntry(const ZipArchive& archive, const char* name, CentralEntry* found) {
  if (name == nullptr) return false;
  const std::size_t length = std::strlen(name);
  std::uint32_t offset = 0;
  CentralEntry entry;
  while (NextEntry(archive, &offset, &entry)) {
    if (entry.nameLength == length && std::memcmp(entry.name, name, length) == 0) {
      *found = entry;
      return true;
    }
  }
  return false;
}

bool ReadExactly(FileMan& stream, void* buffer, std::uint32_t count) {
  return stream.Read(buffer, count) == count;
}

struct LocalHeader {
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t time = 0;
  std::uint16_t date = 0;
  std::uint32_t compressedField = 0;  // as the local header gives it
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint32_t crc = 0;
  std::uint64_t dataOffset = 0;
};

// Reads the local header of an entry and settles its sizes. A local extra field longer
// than the area for one ZIP64 record is refused. An entry written with a data
// descriptor has zeros in its local size fields: its sizes and checksum then come from the
// central directory, so that such a file is extracted instead of silently skipped.
bool ReadLocalHeader(ZipArchive& archive, const CentralEntry& entry, LocalHeader* header) {
  FileMan& stream = *archive.stream;
  unsigned char fixed[kLocalFixed];
  stream.Seek(entry.LocalOffset(), 0);
  if (!ReadExactly(stream, fixed, kLocalFixed) || std::memcmp(fixed, "PK\3\4", 4) != 0) return false;
  header->flags = Le16(fixed + 6);
  header->method = Le16(fixed + 8);
  header->time = Le16(fixed + 10);
  header->date = Le16(fixed + 12);
  header->crc = Le32(fixed + 14);
  header->compressedField = Le32(fixed + 18);
  const std::uint32_t uncompressedField = Le32(fixed + 22);
  const std::uint16_t nameLength = Le16(fixed + 26);
  const std::uint16_t extraLength = Le16(fixed + 28);
  header->dataOffset = static_cast<std::uint64_t>(entry.LocalOffset()) + kLocalFixed + nameLength + extraLength;
  if (extraLength > kLocalExtraArea) return false;

  header->compressedSize = header->compressedField;
  header->uncompressedSize = uncompressedField;
  if ((header->flags & kFlagDataDescriptor) != 0 && header->compressedField == 0) {
    header->crc = entry.Crc();
    header->compressedSize = entry.CompressedSize();
    header->uncompressedSize = entry.UncompressedSize();
    if (header->compressedSize == kSize32Escape || header->uncompressedSize == kSize32Escape) return false;
    return true;
  }
  if (header->compressedField != kSize32Escape && uncompressedField != kSize32Escape) return true;

  // ZIP64: the 64-bit sizes stand in the extended-information record of the extra field.
  unsigned char extra[kLocalExtraArea];
  stream.Seek(nameLength, 1);
  if (!ReadExactly(stream, extra, extraLength)) return false;
  if (uncompressedField == kSize32Escape) {
    if (extraLength < 12) return false;
    header->uncompressedSize = Le64(extra + 4);
  }
  if (header->compressedField == kSize32Escape) {
    if (extraLength < 20) return false;
    header->compressedSize = Le64(extra + 12);
  }
  return true;
}

bool HasNoData(const LocalHeader& header) { return header.compressedSize == 0; }

std::FILE* CreateOutputFile(const char* path) {
#if defined(_WIN32)
  return _fsopen(path, "wb", _SH_DENYRW);  // not shared while it is written
#else
  return std::fopen(path, "wb");
#endif
}

bool WriteAll(std::FILE* out, const unsigned char* data, std::size_t count) {
  return count == 0 || std::fwrite(data, 1, count, out) == count;
}

bool CopyStored(FileMan& stream, std::FILE* out, const LocalHeader& header, std::uint32_t* crc) {
  unsigned char buffer[kZipChunk];
  std::uint64_t left = header.compressedSize;
  while (left > 0) {
    const std::uint32_t chunk = left < kZipChunk ? static_cast<std::uint32_t>(left) : kZipChunk;
    const std::uint64_t got = stream.Read(buffer, chunk);
    if (got == 0) return false;  // the data runs past the end of the stream
    if (!WriteAll(out, buffer, static_cast<std::size_t>(got))) return false;
    *crc = static_cast<std::uint32_t>(::crc32(*crc, buffer, static_cast<uInt>(got)));
    left -= got;
  }
  return true;
}

bool Inflate(FileMan& stream, std::FILE* out, const LocalHeader& header, std::uint32_t* crc) {
  z_stream z;
  std::memset(&z, 0, sizeof(z));
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  unsigned char input[kZipChunk];
  unsigned char output[kZipChunk];
  std::uint64_t inputLeft = header.compressedSize;
  std::uint64_t written = 0;
  bool ok = true;
  while (ok && written < header.uncompressedSize) {
    if (z.avail_in == 0 && inputLeft > 0) {
      const std::uint32_t chunk = inputLeft < kZipChunk ? static_cast<std::uint32_t>(inputLeft) : kZipChunk;
      const std::uint64_t got = stream.Read(input, chunk);
      if (got == 0) {
        ok = false;
        break;
      }
      inputLeft -= got;
      z.next_in = input;
      z.avail_in = static_cast<uInt>(got);
    }
    const std::uint64_t want = header.uncompressedSize - written;
    const uInt room = want < kZipChunk ? static_cast<uInt>(want) : kZipChunk;
    z.next_out = output;
    z.avail_out = room;
    const int result = inflate(&z, Z_NO_FLUSH);
    const uInt produced = room - z.avail_out;
    // Only what inflate produced is written: a stream that ends early, or input that runs
    // out, fails instead of padding the file with stale buffer bytes.
    if (result == Z_NEED_DICT || (result < 0 && result != Z_BUF_ERROR)) ok = false;
    if (produced == 0 && (result != Z_OK || (z.avail_in == 0 && inputLeft == 0))) ok = false;
    if (!ok) break;
    if (!WriteAll(out, output, produced)) ok = false;
    *crc = static_cast<std::uint32_t>(::crc32(*crc, output, produced));
    written += produced;
    if (result == Z_STREAM_END && written < header.uncompressedSize) ok = false;
  }
  return inflateEnd(&z) == Z_OK && ok;
}

}  // namespace

ZipArchive::~ZipArchive() { CloseZip(*this); }

bool OpenZipFile(const char* path, ZipArchive& archive) {
  FileStream* stream = FileStream::Open(path);
  if (stream == nullptr) return false;
  return OpenZipStream(stream, archive);
}

bool OpenZipStream(FileMan* stream, ZipArchive& archive) {
  CloseZip(archive);
  if (stream == nullptr) return false;
  const std::uint32_t end = stream->FindZipEnd();
  unsigned char record[8];
  bool ok = end != kZipNotFound;
  if (ok) {
    stream->Seek(static_cast<std::int64_t>(end) + 12, 0);
    ok = ReadExactly(*stream, record, sizeof(record));
  }
  const std::uint32_t size = ok ? Le32(record) : 0;
  const std::uint32_t offset = ok ? Le32(record + 4) : 0;
  // A directory that claims more than the stream holds is refused before any allocation.
  ok = ok && static_cast<std::uint64_t>(offset) + size <= stream->GetSize();
  unsigned char* directory = nullptr;
  if (ok && size > 0) {
    directory = new (std::nothrow) unsigned char[size];
    stream->Seek(offset, 0);
    ok = directory != nullptr && ReadExactly(*stream, directory, size);
  }
  if (!ok) {
    delete[] directory;
    delete stream;
    return false;
  }
  archive.stream = stream;
  archive.directory = directory;
  archive.directorySize = size;
  return true;
}

std::uint32_t GetZipEntryCount(const ZipArchive& archive) {
  std::uint32_t count = 0;
  std::uint32_t offset = 0;
  CentralEntry entry;
  while (NextEntry(archive, &offset, &entry)) ++count;
  return count;
}

bool GetZipEntryName(const ZipArchive& archive, char* name, std::size_t nameSize, std::uint32_t index) {
  if (name == nullptr || nameSize == 0) return false;
  name[0] = '\0';
  std::uint32_t offset = 0;
  CentralEntry entry;
  for (std::uint32_t i = 0;; ++i) {
    if (!NextEntry(archive, &offset, &entry)) return false;
    if (i == index) break;
  }
  if (entry.nameLength >= nameSize || std::memchr(entry.name, '\0', entry.nameLength) != nullptr) return false;
  std::memcpy(name, entry.name, entry.nameLength);
  name[entry.nameLength] = '\0';
  return true;
}

std::uint32_t FindZipEntry(const ZipArchive& archive, const char* name) {
  CentralEntry entry;
  return FindCentralEntry(archive, name, &entry) ? entry.LocalOffset() : kZipNotFound;
}

bool IsZipEntryEmpty(const ZipArchive& archive, const char* name) {
  CentralEntry entry;
  LocalHeader header;
  if (archive.stream == nullptr || !FindCentralEntry(archive, name, &entry)) return false;
  if (IsZipFolderName(name)) return true;
  return ReadLocalHeader(const_cast<ZipArchive&>(archive), entry, &header) && HasNoData(header);
}

bool ExtractZipEntry(const char* outputPath, ZipArchive& archive, const char* name) {
  CentralEntry entry;
  LocalHeader header;
  if (outputPath == nullptr || archive.stream == nullptr || !FindCentralEntry(archive, name, &entry)) return false;
  if (!IsSafeZipEntryName(name)) return false;
  // Some writers deflate even a folder's empty data (two bytes): it is still a folder, and
  // a file of its name would stand in the way of the files that go into it.
  if (IsZipFolderName(name)) return true;
  if (!ReadLocalHeader(archive, entry, &header)) return false;
  if (HasNoData(header)) return true;

  std::FILE* out = CreateOutputFile(outputPath);
  if (out == nullptr) return false;
  std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, nullptr, 0));
  archive.stream->Seek(static_cast<std::int64_t>(header.dataOffset), 0);
  bool ok = false;
  if (header.method == 0) {
    ok = CopyStored(*archive.stream, out, header, &crc);
  } else if (header.method == 8) {
    ok = Inflate(*archive.stream, out, header, &crc);
  }
  // A damaged entry must not pass for the file it claims to be.
  ok = ok && crc == header.crc;
  ok = (std::fclose(out) == 0) && ok;
  if (ok) SetFileDosTime(outputPath, header.date, header.time);
  return ok;
}

void CloseZip(ZipArchive& archive) {
  delete archive.stream;
  delete[] archive.directory;
  archive.stream = nullptr;
  archive.directory = nullptr;
  archive.directorySize = 0;
}

bool IsSafeZipEntryName(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsPathSeparator(name[0])) return false;
  // Every separator byte counts, also the trail byte of a double-byte character: that can
  // only refuse more names, never let one through.
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == ':') return false;  // a drive, or a stream of another file
    if (*p == '\0' || IsPathSeparator(*p)) {
      // A component of dots (and spaces, which Windows strips) names this folder or one
      // above it.
      std::size_t dots = 0;
      bool onlyDots = true;
      for (const char* q = component; q != p; ++q) {
        if (*q == '.') {
          ++dots;
        } else if (*q != ' ') {
          onlyDots = false;
        }
      }
      if (onlyDots && dots >= 1) return false;
      if (*p == '\0') return true;
      component = p + 1;
    }
  }
}

bool IsZipFolderName(const char* name) {
  if (name == nullptr) return false;
  const std::size_t length = std::strlen(name);
  return length > 0 && LastSeparator(name, length) == static_cast<long>(length) - 1;
}

bool MakeZipEntryPath(const char* folder, const char* name, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  out[0] = '\0';
  if (folder == nullptr || !IsSafeZipEntryName(name)) return false;
  if (!JoinPath(name, out, folder, outSize)) return false;
  RemoveTrailingSeparators(out);
  ToForwardSlashes(out);
  return true;
}
