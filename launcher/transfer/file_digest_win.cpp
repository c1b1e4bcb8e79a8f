#include "launcher/core/windows_api.h"

#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/win_handle.h"
#include "launcher/transfer/file_digest.h"

namespace {

// One read call per piece; a short read (the file shrank) counts as a failure.
bool ReadPiece(void* source, unsigned char* buffer, std::uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(source), buffer, n, &got, nullptr)) return false;
  return got == n;
}

}  // namespace

bool ComputeHashCode(DigestFileHandle file, unsigned char digest[kMd5DigestSize]) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(static_cast<HANDLE>(file), &size) || size.QuadPart < 0) {
    std::memset(digest, 0, kMd5DigestSize);
    return false;
  }
  return HashFileContents(static_cast<std::uint64_t>(size.QuadPart), ReadPiece, file, digest);
}

bool CheckHashCode(const char* fileName, const unsigned char* expected) {
  if (fileName == nullptr || expected == nullptr) return false;
  unsigned char digest[kMd5DigestSize];
  {
    CFileHandle file(CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
      g_launcher.Log("CheckHashCode(%s) : CreateFile() failed.", fileName);
      return false;
    }
    if (!ComputeHashCode(file.get(), digest)) {
      g_launcher.Log("CheckHashCode(%s) : ReadFile() failed.", fileName);
      return false;
    }
  }
  char computedText[2 * kMd5DigestSize + 1];
  char expectedText[2 * kMd5DigestSize + 1];
  FormatDigest(digest, computedText);
  FormatDigest(expected, expectedText);
  g_launcher.Log("CheckHashCode(%s) : %s, %s", fileName, computedText, expectedText);
  return std::memcmp(digest, expected, kMd5DigestSize) == 0;
}
