// Hashes one file with ComputeHashCode a few times and prints the best throughput:
//   talv_bench_md5 FILE [RUNS]
//   -> "digest <32 hex digits>" and "seconds <best>" and "MB/s <bytes per second / 1e6>"
#include <cstdio>
#include <cstdlib>

#include "bench/bench_clock.h"
#include "launcher/transfer/file_digest.h"

#if defined(_WIN32)
#include "launcher/core/windows_api.h"
#include "launcher/core/win_handle.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// One pass from the start of the file; false when the file cannot be opened or read.
bool HashOnce(const char* path, unsigned char digest[kMd5DigestSize], unsigned long long* size) {
#if defined(_WIN32)
  CFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER length;
  if (!file || !GetFileSizeEx(file.get(), &length)) return false;
  *size = static_cast<unsigned long long>(length.QuadPart);
  return ComputeHashCode(file.get(), digest);
#else
  const int fd = open(path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return false;
  *size = static_cast<unsigned long long>(st.st_size);
  const bool ok = ComputeHashCode(fd, digest);
  close(fd);
  return ok;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: talv_bench_md5 FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  double best = 0;
  unsigned char digest[kMd5DigestSize];
  unsigned long long size = 0;
  for (int i = 0; i < runs; ++i) {
    const double start = NowSeconds();
    if (!HashOnce(argv[1], digest, &size)) {
      std::fprintf(stderr, "talv_bench_md5: cannot hash %s\n", argv[1]);
      return 1;
    }
    const double seconds = NowSeconds() - start;
    if (i == 0 || seconds < best) best = seconds;
  }
  char text[2 * kMd5DigestSize + 1];
  FormatDigest(digest, text);
  std::printf("digest %s\nseconds %.3f\nMB/s %.1f\n", text, best, static_cast<double>(size) / best / 1e6);
  return 0;
}
