// Fuzzes the zip reader over arbitrary bytes: opening, the whole walk the launcher makes
// (names, emptiness, entry paths, extraction into a scratch folder), directly and through
// a window onto a larger stream. Seeds: the sample archives of make_samples.py.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "launcher/storage/zip_archive.h"
#include "tests/storage/memory_stream.h"

namespace {

const std::string& OutputPath() {
  static const std::string path = "/tmp/fuzz_zip_" + std::to_string(getpid()) + ".out";
  return path;
}

void WalkArchive(ZipArchive& archive) {
  const std::uint32_t n = GetZipEntryCount(archive);
  for (std::uint32_t i = 0; i <= n; ++i) {
    char name[kMaxPath];
    if (!GetZipEntryName(archive, name, i)) continue;
    FindZipEntry(archive, name);
    char path[kMaxPath];
    MakeZipEntryPath("/tmp/game", name, path);
    if (!IsZipEntryEmpty(archive, name)) ExtractZipEntry(OutputPath().c_str(), archive, name);
  }
  char small[4];
  if (n > 0) GetZipEntryName(archive, small, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    ZipArchive archive;
    if (OpenZipStream(new MemoryStream(data, size), archive)) WalkArchive(archive);
  }
  {
    // The archive inside a larger stream, the way it sits in the launcher's executable; the
    // inner stream claims a little more than it holds.
    std::vector<std::uint8_t> host(7, 0x4D);
    host.insert(host.end(), data, data + size);
    host.insert(host.end(), 5, 0x5A);
    auto* inner = new MemoryStream(host.data(), host.size() - 3, host.size());
    ZipArchive archive;
    if (OpenZipStream(new FileStreamPacked(inner, 7, size, true), archive)) WalkArchive(archive);
  }
  std::remove(OutputPath().c_str());
  return 0;
}
