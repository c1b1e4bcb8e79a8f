#include "launcher/transfer/md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/transfer/file_digest.h"

namespace {

std::string Hex(const unsigned char digest[kMd5DigestSize]) {
  char text[2 * kMd5DigestSize + 1];
  FormatDigest(digest, text);
  return text;
}

std::string DigestOf(const std::string& data) {
  unsigned char digest[kMd5DigestSize];
  MD5Digest(data.data(), data.size(), digest);
  return Hex(digest);
}

}  // namespace

TEST(Md5, Rfc1321TestSuite) {
  const struct {
    const char* input;
    const char* digest;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestOf(c.input), c.digest) << '"' << c.input << '"';
}

// Padding boundaries (55, 56, 63, 64, 65 bytes) and any split of the input into updates give
// the one-shot digest; reference values from md5sum.
TEST(Md5, PaddingBoundariesAndSplitUpdates) {
  const struct {
    std::size_t length;
    const char* digest;
  } cases[] = {
      {55, "EF1772B6DFF9A122358552954AD0DF65"},
      {56, "3B0C8AC703F828B04C6C197006D17218"},
      {63, "B06521F39153D618550606BE297466D5"},
      {64, "014842D480B571495A4A0363793F7367"},
      {65, "C743A45E0D2E6A95CB859ADAE0248435"},
  };
  for (const auto& c : cases) {
    const std::string data(c.length, 'a');
    EXPECT_EQ(DigestOf(data), c.digest) << c.length;
    for (std::size_t split : {std::size_t(1), std::size_t(7), std::size_t(63), c.length - 1}) {
      if (split > c.length) continue;
      MD5_CTX context;
      MD5Init(&context);
      MD5Update(&context, data.data(), split);
      MD5Update(&context, data.data() + split, 0);
      MD5Update(&context, data.data() + split, data.size() - split);
      unsigned char digest[kMd5DigestSize];
      MD5Final(digest, &context);
      EXPECT_EQ(Hex(digest), c.digest) << c.length << " split at " << split;
    }
  }
}

TEST(Md5, FinalWipesTheContext) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, "abc", 3);
  unsigned char digest[kMd5DigestSize];
  MD5Final(digest, &context);
  const MD5_CTX zero = {};
  EXPECT_EQ(std::memcmp(&context, &zero, sizeof(context)), 0);
}

TEST(Md5, DigestTextIsUpperCaseWithLeadingZeros) {
  const unsigned char digest[kMd5DigestSize] = {0x0A, 0x00, 0xFF, 0x5c, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xab, 0xcd, 0xef};
  EXPECT_EQ(Hex(digest), "0A00FF5C010203040506070809ABCDEF");
}

namespace {

// A source of a given length of a repeating pattern that can fail at one read.
struct FakeFile {
  FakeFile(std::uint64_t length, int failAtRead) : length(length), failAtRead(failAtRead) {}
  std::uint64_t length;
  int failAtRead;  // 1-based; 0: never
  std::uint64_t position = 0;
  int reads = 0;
  std::vector<std::uint32_t> sizes;

  static bool Read(void* source, unsigned char* buffer, std::uint32_t n) {
    auto* f = static_cast<FakeFile*>(source);
    f->sizes.push_back(n);
    if (++f->reads == f->failAtRead) return false;
    for (std::uint32_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>((f->position + i) % 251);
    f->position += n;
    return true;
  }
};

std::string Pattern(std::size_t length) {
  std::string data(length, '\0');
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>(i % 251);
  return data;
}

}  // namespace

TEST(FileDigest, ReadsInPiecesOfAtMost64KiB) {
  const struct {
    std::uint64_t length;
    std::vector<std::uint32_t> reads;
  } cases[] = {
      {0, {}},
      {65536, {65536}},
      {65537, {65536, 1}},
      {200000, {65536, 65536, 65536, 3392}},
  };
  for (const auto& c : cases) {
    FakeFile file{c.length, 0};
    unsigned char digest[kMd5DigestSize];
    ASSERT_TRUE(HashFileContents(c.length, &FakeFile::Read, &file, digest));
    EXPECT_EQ(file.sizes, c.reads) << c.length;
    EXPECT_EQ(Hex(digest), DigestOf(Pattern(c.length))) << c.length;
  }
}

TEST(FileDigest, AReadFailingPartWayGivesNoDigest) {
  FakeFile file{200000, 2};
  unsigned char digest[kMd5DigestSize];
  std::memset(digest, 0x55, sizeof(digest));
  EXPECT_FALSE(HashFileContents(200000, &FakeFile::Read, &file, digest));
  EXPECT_EQ(Hex(digest), std::string(32, '0'));
  EXPECT_EQ(file.reads, 2);  // stops at the failure
}
