#include "launcher/storage/file_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/storage/zip_archive.h"
#include "tests/storage/memory_stream.h"
#include "tests/storage/storage_test_util.h"

namespace {

std::string Digits(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('0' + i % 10);
  return s;
}

}  // namespace

TEST(FileStream, ReadIsCutAtTheEndAndSeekFollowsItsOrigin) {
  const std::string path = ScratchDir() + "/digits.bin";
  WriteAll(path, Digits(100));
  FileStream* stream = FileStream::Open(path.c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->GetSize(), 100u);
  char buffer[64] = {};
  EXPECT_EQ(stream->Read(buffer, 10), 10u);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  stream->Seek(-5, 2);
  EXPECT_EQ(stream->Tell(), 95u);
  EXPECT_EQ(stream->Read(buffer, 64), 5u);  // exactly what remains
  EXPECT_EQ(std::string(buffer, 5), "56789");
  EXPECT_EQ(stream->Read(buffer, 1), 0u);  // at the end
  stream->Seek(-20, 1);
  EXPECT_EQ(stream->Tell(), 80u);
  stream->Seek(500, 0);  // past the end: nothing to read, no wrap-around
  EXPECT_EQ(stream->Read(buffer, 8), 0u);
  stream->Seek(3, 0);
  EXPECT_EQ(stream->Read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "34");
  delete stream;
  EXPECT_EQ(FileStream::Open((ScratchDir() + "/missing").c_str()), nullptr);
}

TEST(FileStream, ShortDeliveryIsReportedNotPassedOffAsData) {
  // The stream claims 50 bytes but holds 20: the count is what arrived.
  const std::string bytes = Digits(20);
  MemoryStream stream(bytes.data(), 20, 50);
  char buffer[50];
  EXPECT_EQ(stream.Read(buffer, 50), 20u);
  EXPECT_EQ(stream.Tell(), 20u);
  EXPECT_EQ(stream.Read(buffer, 10), 0u);
}

TEST(FileStreamPacked, WindowStartsAtTheBaseAndEndsAtItsLength) {
  const std::string path = ScratchDir() + "/host.bin";
  WriteAll(path, Digits(100));
  auto* inner = FileStream::Open(path.c_str());
  ASSERT_NE(inner, nullptr);
  FileStreamPacked window(inner, 37, 20, true);
  EXPECT_EQ(window.GetSize(), 20u);
  char buffer[64] = {};
  EXPECT_EQ(window.Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "7890");
  window.Seek(15, 0);
  EXPECT_EQ(window.Read(buffer, 64), 5u);  // cut at the window's end, not the file's
  EXPECT_EQ(std::string(buffer, 5), "23456");
  window.Seek(-20, 2);
  EXPECT_EQ(window.Read(buffer, 1), 1u);
  EXPECT_EQ(buffer[0], '7');

  // A window reaching past its inner stream delivers only what is there.
  const std::string bytes = Digits(30);
  FileStreamPacked over(new MemoryStream(bytes.data(), bytes.size()), 25, 40, true);
  EXPECT_EQ(over.Read(buffer, 40), 5u);
}

TEST(FindZipEnd, SignatureIsFoundInEveryBlockPosition) {
  // The record at every offset of streams around the 28-byte block size, also straddling
  // two blocks and inside a short first block.
  for (std::size_t size : {4u, 5u, 27u, 28u, 29u, 31u, 32u, 56u, 57u, 100u}) {
    for (std::size_t at = 0; at + 4 <= size; ++at) {
      std::string bytes(size, 'x');
      std::memcpy(&bytes[at], "PK\5\6", 4);
      MemoryStream stream(bytes.data(), bytes.size());
      EXPECT_EQ(stream.FindZipEnd(), at) << size << " " << at;
    }
    std::string none(size, 'P');
    MemoryStream stream(none.data(), none.size());
    EXPECT_EQ(stream.FindZipEnd(), kZipNotFound) << size;
  }
  MemoryStream empty("", 0);
  EXPECT_EQ(empty.FindZipEnd(), kZipNotFound);
}
