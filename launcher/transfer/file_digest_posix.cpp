#include "launcher/transfer/file_digest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool ReadExactly(void* source, unsigned char* buffer, std::uint32_t n) {
  const int fd = *static_cast<int*>(source);
  std::uint32_t done = 0;
  while (done < n) {
    ssize_t got = read(fd, buffer + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::uint32_t>(got);
  }
  return true;
}

}  // namespace

bool ComputeHashCode(DigestFileHandle file, unsigned char digest[kMd5DigestSize]) {
  struct stat st;
  if (fstat(file, &st) != 0) {
    HashFileContents(0, ReadExactly, &file, digest);
    return false;
  }
  return HashFileContents(static_cast<std::uint64_t>(st.st_size), ReadExactly, &file, digest);
}
