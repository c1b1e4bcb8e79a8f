// The record of a patch run's downloads ("downloads.txt" in the temporary folder): the files
// that arrived whole and matched their digest, and those still arriving. A run that is
// killed, stopped or cut off leaves it behind, so that the next run keeps what it names
// instead of fetching a large patch from the start. The text format is described in
// docs/kept-downloads.md.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/transfer/md5.h"

struct RecordedDownload {
  std::string name;  // as in the manifest, relative to the temporary folder
  std::uint64_t size = 0;  // the manifest's size (expected, for a file still arriving)
  unsigned char md5[kMd5DigestSize] = {};
  bool complete = false;  // arrived whole and matched md5; else still arriving
};

struct DownloadRecord {
  std::vector<RecordedDownload> files;  // each name at most once
};

// The whole record as text, or "" when a file cannot be held: an unsafe name (the manifest's
// check), one too long or carrying a control character, a size of 0, or a name twice.
std::string FormatDownloadRecord(const DownloadRecord& record);

// Reads a record's bytes. False for anything that does not read as a whole record, a cut
// last line included: then nothing it names may be trusted, and *record is left empty.
bool ParseDownloadRecord(const char* text, std::size_t size, DownloadRecord* record);
