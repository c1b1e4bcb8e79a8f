// The launcher's own zip reader: the central directory is held in memory, single entries
// are extracted with zlib's raw inflate through two fixed buffers. Used for the patch
// archive inside the launcher's executable and for the development client archive.
//
// Callers walk an archive like this: open; GetZipEntryCount; per index GetZipEntryName,
// skip IsZipEntryEmpty entries, MakeZipEntryPath (refuses names that would leave the
// folder), create the parent folders, ExtractZipEntry; CloseZip (or let the archive go).
//
// The functions report only true or false and log nothing: the callers know which entry
// and which message. Archives of 4 GiB or more, and central directories found only through
// a ZIP64 end record, are refused.
#pragma once
#include <cstddef>
#include <cstdint>

#include "launcher/core/limits.h"
#include "launcher/storage/file_stream.h"

struct ZipArchive {
  FileMan* stream = nullptr;          // owned
  unsigned char* directory = nullptr; // heap copy of the whole central directory; owned
  std::uint32_t directorySize = 0;

  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;
};

// Size of the chunks extraction reads and writes.
constexpr std::uint32_t kZipChunk = 2048;

bool OpenZipFile(const char* path, ZipArchive& archive);
// Takes ownership of the stream, also when it fails (the stream is then deleted).
bool OpenZipStream(FileMan* stream, ZipArchive& archive);

// Complete directory entries; a last entry that runs past the directory is not counted.
std::uint32_t GetZipEntryCount(const ZipArchive& archive);
// The name of entry index (0-based, directory order) with its terminating zero. False past
// the last entry, and for a name that does not fit or holds a zero byte.
bool GetZipEntryName(const ZipArchive& archive, char* name, std::size_t nameSize, std::uint32_t index);
template <std::size_t N>
bool GetZipEntryName(const ZipArchive& archive, char (&name)[N], std::uint32_t index) {
  return GetZipEntryName(archive, name, N, index);
}
// Local header offset of the entry with exactly this name (case and separators as they
// are); kZipNotFound when there is none.
std::uint32_t FindZipEntry(const ZipArchive& archive, const char* name);
// True for an existing entry with no data: folders (whatever their stored size) and empty
// files.
bool IsZipEntryEmpty(const ZipArchive& archive, const char* name);
// Writes the entry's contents to a new file at outputPath (replacing one that is there)
// and stamps it with the entry's time. An entry with no data, or a folder, gives true and
// no file. A file created before a failure is left in place.
bool ExtractZipEntry(const char* outputPath, ZipArchive& archive, const char* name);
void CloseZip(ZipArchive& archive);

// False for names that would be written outside the folder they are extracted to, or onto
// it: empty, absolute, with a drive or stream colon, or with a "." or ".." component.
bool IsSafeZipEntryName(const char* name);
// True for a name that ends with "/" or "": a folder, never a file (Big5 characters are
// scanned whole, so a trail byte 0x5C does not count).
bool IsZipFolderName(const char* name);
// folder joined with the entry name, trailing separators removed, "/" separators. False
// (out emptied) for an unsafe name or a path that does not fit.
bool MakeZipEntryPath(const char* folder, const char* name, char* out, std::size_t outSize);
template <std::size_t N>
bool MakeZipEntryPath(const char* folder, const char* name, char (&out)[N]) {
  return MakeZipEntryPath(folder, name, out, N);
}
