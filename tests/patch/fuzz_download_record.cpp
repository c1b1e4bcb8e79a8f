// Fuzzes the download record's parse: whatever it accepts names only safe files and reads
// back the same when written out again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "launcher/patch/download_record.h"
#include "launcher/patch/manifest_name.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DownloadRecord record;
  if (!ParseDownloadRecord(reinterpret_cast<const char*>(data), size, &record)) {
    if (!record.files.empty()) __builtin_trap();
    return 0;
  }
  for (const RecordedDownload& file : record.files) {
    if (!IsSafeManifestName(file.name.c_str()) || file.size == 0) __builtin_trap();
  }
  const std::string text = FormatDownloadRecord(record);
  DownloadRecord again;
  if (text.empty() || !ParseDownloadRecord(text.data(), text.size(), &again) ||
      again.files.size() != record.files.size()) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < record.files.size(); ++i) {
    const RecordedDownload& a = record.files[i];
    const RecordedDownload& b = again.files[i];
    if (a.name != b.name || a.size != b.size || a.complete != b.complete || std::memcmp(a.md5, b.md5, sizeof(a.md5)) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}
