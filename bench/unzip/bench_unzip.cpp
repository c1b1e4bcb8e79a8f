// Extracts every entry of an archive the way the launcher's callers do (names, emptiness,
// parent folders, ExtractZipEntry) and prints the seconds it took.
#include <cstdio>
#include <filesystem>

#include "bench/bench_clock.h"
#include "launcher/storage/zip_archive.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_unzip ARCHIVE OUT_DIR\n");
    return 2;
  }
  const double start = NowSeconds();
  ZipArchive archive;
  if (!OpenZipFile(argv[1], archive)) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const std::uint32_t n = GetZipEntryCount(archive);
  for (std::uint32_t i = 0; i < n; ++i) {
    char name[kMaxPath], path[kMaxPath];
    if (!GetZipEntryName(archive, name, i) || !MakeZipEntryPath(argv[2], name, path)) return 1;
    if (IsZipEntryEmpty(archive, name)) continue;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (!ExtractZipEntry(path, archive, name)) {
      std::fprintf(stderr, "cannot extract %s\n", name);
      return 1;
    }
  }
  CloseZip(archive);
  std::printf("%.3f\n", NowSeconds() - start);
  return 0;
}
