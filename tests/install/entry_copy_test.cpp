#include "launcher/install/entry_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// An entry of `data` read in chunks; the writer fails once `failAt` bytes are written
// (never when negative), the reader fails with `readError` after the data when it is set.
struct Faults {
  std::string data;
  int readError = 0;
  long failAt = -1;
  bool flushFails = false;
  int closeResult = 0;
};

struct FakeEntry : Faults {
  explicit FakeEntry(const Faults& f) : Faults(f) {}
  std::size_t at = 0;
  std::string written;
  bool outputClosed = false, entryClosed = false;

  EntryCopyIo Io() {
    EntryCopyIo io;
    io.read = [this](unsigned char* buffer, unsigned size) {
      if (at == data.size()) return readError;
      const std::size_t n = std::min<std::size_t>(size, data.size() - at);
      data.copy(reinterpret_cast<char*>(buffer), n, at);
      at += n;
      return static_cast<int>(n);
    };
    io.write = [this](const unsigned char* bytes, std::size_t count, int* error) {
      if (failAt >= 0 && written.size() + count > static_cast<std::size_t>(failAt)) {
        *error = 28;
        return false;
      }
      written.append(reinterpret_cast<const char*>(bytes), count);
      return true;
    };
    io.closeOutput = [this](int* error) {
      outputClosed = true;
      if (flushFails) *error = 5;
      return !flushFails;
    };
    io.closeEntry = [this]() {
      entryClosed = true;
      return closeResult;
    };
    return io;
  }
};

}  // namespace

TEST(EntryCopy, OnlyAWholeCheckedEntryIsIntact) {
  struct Case {
    const char* what;
    Faults faults;
    std::uint64_t expected;
    EntryCopyResult result;
    int code;
  } cases[] = {
      {"intact", {std::string(10000, 'x')}, 10000, EntryCopyResult::Intact, 0},
      {"empty", {""}, 0, EntryCopyResult::Intact, 0},
      {"read error", {"abc", -3}, 3, EntryCopyResult::ReadFailed, -3},
      {"write fails", {std::string(10000, 'x'), 0, 5000}, 10000, EntryCopyResult::WriteFailed, 28},
      {"flush fails", {"abc", 0, -1, true}, 3, EntryCopyResult::WriteFailed, 5},
      {"ends early", {"abc"}, 4, EntryCopyResult::Short, 0},
      {"runs past its size", {"abcde"}, 4, EntryCopyResult::Short, 0},
      {"checksum mismatch", {"abc", 0, -1, false, -105}, 3, EntryCopyResult::Damaged, -105},
  };
  for (const Case& c : cases) {
    FakeEntry entry(c.faults);
    unsigned char buffer[1024];
    const EntryCopy copy = CopyEntryData(entry.Io(), c.expected, buffer, sizeof(buffer));
    EXPECT_EQ(copy.result, c.result) << c.what;
    EXPECT_EQ(copy.code, c.code) << c.what;
    EXPECT_TRUE(entry.outputClosed && entry.entryClosed) << c.what;
    if (c.result == EntryCopyResult::Intact) {
      EXPECT_EQ(entry.written, entry.data) << c.what;
    }
  }
}
