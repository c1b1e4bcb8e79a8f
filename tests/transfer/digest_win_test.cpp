// CheckHashCode and ComputeHashCode on real files under Wine.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/core/win_handle.h"
#include "launcher/patch/version_info.h"  // ParseDigestText
#include "launcher/transfer/file_digest.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"

namespace {

std::vector<unsigned char> Digest(const char* hex) {
  std::vector<unsigned char> d(kMd5DigestSize);
  EXPECT_TRUE(ParseDigestText(hex, d.data()));
  return d;
}

// A file of size zero bytes, made sparse by setting its end: cheap whatever the size.
bool MakeZeroFile(const std::string& path, long long size) {
  CFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  LARGE_INTEGER at;
  at.QuadPart = size;
  return file && SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

}  // namespace

// Digests from md5sum of as many zero bytes.
TEST(CheckHashCode, ZeroFilesAroundTheBufferSizeAndBeyond4GiB) {
  ScopedTempDir dir;
  const struct {
    long long size;
    const char* md5;
  } cases[] = {
      {0, "D41D8CD98F00B204E9800998ECF8427E"},
      {65536, "FCD6BCB56C1689FCEF28B57C22475BAD"},
      {65537, "0B76EB861BBFC3AFD2905C01D37B320C"},
      {4294967297LL, "F18C798FF5D450DFE4D3ACDC12B621FF"},  // 4 GiB + 1: the low 32 bits say 1
  };
  for (const auto& c : cases) {
    const std::string path = dir / ("zero_" + std::to_string(c.size));
    ASSERT_TRUE(MakeZeroFile(path, c.size)) << c.size;
    LogCapture log;
    EXPECT_TRUE(CheckHashCode(path.c_str(), Digest(c.md5).data())) << c.size;
    EXPECT_EQ(log.lines(), std::vector<std::string>{"CheckHashCode(" + path + ") : " + c.md5 + ", " + c.md5});
    DeleteFileA(path.c_str());
  }
}

TEST(CheckHashCode, MismatchMissingFileAndNullArguments) {
  ScopedTempDir dir;
  const std::string path = dir / "abc.txt";
  ASSERT_TRUE(WriteFileBytes(path, "abc"));
  {
    LogCapture log;
    EXPECT_FALSE(CheckHashCode(path.c_str(), Digest("0a0000000000000000000000000000ff").data()));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"CheckHashCode(" + path +
                                                    ") : 900150983CD24FB0D6963F7D28E17F72, "
                                                    "0A0000000000000000000000000000FF"});
  }
  {
    LogCapture log;
    const std::string missing = dir / "missing.bin";
    EXPECT_FALSE(CheckHashCode(missing.c_str(), Digest("900150983CD24FB0D6963F7D28E17F72").data()));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"CheckHashCode(" + missing + ") : CreateFile() failed."});
  }
  LogCapture log;
  EXPECT_FALSE(CheckHashCode(nullptr, Digest("900150983CD24FB0D6963F7D28E17F72").data()));
  EXPECT_FALSE(CheckHashCode(path.c_str(), nullptr));
  EXPECT_TRUE(log.lines().empty());
}

// The digest covers as many bytes as the size says, from the handle's position: from the
// middle the reads come back short, and that must not pass for a digest.
TEST(ComputeHashCode, ShortReadsAndAFailedSizeQueryGiveNoDigest) {
  ScopedTempDir dir;
  const std::string path = dir / "data.bin";
  ASSERT_TRUE(WriteFileBytes(path, std::string(100000, 'q')));
  CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  unsigned char digest[kMd5DigestSize];
  ASSERT_TRUE(ComputeHashCode(file.get(), digest));
  unsigned char whole[kMd5DigestSize];
  MD5Digest(std::string(100000, 'q').data(), 100000, whole);
  EXPECT_EQ(std::memcmp(digest, whole, sizeof(digest)), 0);

  SetFilePointer(file.get(), 50000, nullptr, FILE_BEGIN);
  EXPECT_FALSE(ComputeHashCode(file.get(), digest));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), sizeof(digest)), std::string(kMd5DigestSize, '\0'));

  EXPECT_FALSE(ComputeHashCode(INVALID_HANDLE_VALUE, digest));
}
