#include "launcher/transfer/parallel_digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/win_test_util.h"

namespace {

constexpr std::size_t kBlock = 1 << 20;  // the hasher's read size: edges around it matter

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 7) & 0xff);
  return s;
}

bool NeverStop(std::uint64_t, const char*, void*) { return true; }

}  // namespace

TEST(ParallelDigest, EveryFileGetsItsOwnDigestWhateverItsSize) {
  ScopedTempDir dir;
  const std::size_t sizes[] = {0, 1, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 5, 4096};
  std::vector<DigestJob> jobs;
  std::vector<std::string> contents;
  for (std::size_t size : sizes) {
    const std::string path = dir.path() + "\\f" + std::to_string(jobs.size());
    contents.push_back(Bytes(size));
    ASSERT_TRUE(WriteFileBytes(path, contents.back()));
    jobs.push_back(DigestJob{path, size});
  }
  // Not there, and a size that is not the file's: neither may pass as read.
  jobs.push_back(DigestJob{dir.path() + "\\missing", 10});
  jobs.push_back(DigestJob{jobs[1].path, 2});
  std::vector<DigestOutcome> outcomes;
  std::uint64_t lastDone = 0;
  auto progress = [](std::uint64_t done, const char*, void* context) {
    *static_cast<std::uint64_t*>(context) = done;
    return true;
  };
  ASSERT_TRUE(HashFilesInParallel(jobs, &outcomes, progress, &lastDone));
  ASSERT_EQ(outcomes.size(), jobs.size());
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    SCOPED_TRACE(sizes[i]);
    unsigned char expected[kMd5DigestSize];
    MD5Digest(contents[i].data(), contents[i].size(), expected);
    EXPECT_TRUE(outcomes[i].read);
    EXPECT_EQ(std::memcmp(outcomes[i].digest, expected, kMd5DigestSize), 0);
    total += sizes[i];
  }
  EXPECT_FALSE(outcomes[contents.size()].read);
  EXPECT_FALSE(outcomes[contents.size() + 1].read);
  EXPECT_EQ(lastDone, total);  // the last report comes after every byte
}

TEST(ParallelDigest, AStopFromProgressEndsTheWork) {
  ScopedTempDir dir;
  std::vector<DigestJob> jobs;
  for (int i = 0; i < 40; ++i) {
    const std::string path = dir.path() + "\\f" + std::to_string(i);
    ASSERT_TRUE(WriteFileBytes(path, Bytes(2 * kBlock)));
    jobs.push_back(DigestJob{path, 2 * kBlock});
  }
  std::vector<DigestOutcome> outcomes;
  EXPECT_FALSE(HashFilesInParallel(jobs, &outcomes, [](std::uint64_t, const char*, void*) { return false; }, nullptr));
  EXPECT_TRUE(HashFilesInParallel({}, &outcomes, &NeverStop, nullptr));
  EXPECT_TRUE(outcomes.empty());
}
