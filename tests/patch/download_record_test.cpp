#include "launcher/patch/download_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

const char kDigest[] = "0123456789ABCDEF0123456789ABCDEF";

RecordedDownload File(const char* name, std::uint64_t size, bool complete, unsigned char fill = 0x5a) {
  RecordedDownload file;
  file.name = name;
  file.size = size;
  file.complete = complete;
  std::memset(file.md5, fill, sizeof(file.md5));
  return file;
}

bool Parse(const std::string& text, DownloadRecord* record) {
  return ParseDownloadRecord(text.data(), text.size(), record);
}

TEST(DownloadRecord, WhatIsWrittenReadsBack) {
  DownloadRecord record;
  record.files = {File("data\\a.pack", 1, true, 0x01), File("data\\\xB3\x5C.txt", 18446744073709551615ull, true, 0xfe),
                  File("big.bin", 62914560, false, 0x80)};
  const std::string text = FormatDownloadRecord(record);
  EXPECT_EQ(text.substr(0, text.find('\n')), "downloads 1");
  EXPECT_NE(text.find("part big.bin\t62914560\t80808080808080808080808080808080\n"), std::string::npos);
  DownloadRecord again;
  ASSERT_TRUE(Parse(text, &again));
  ASSERT_EQ(again.files.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(again.files[i].name, record.files[i].name);
    EXPECT_EQ(again.files[i].size, record.files[i].size);
    EXPECT_EQ(again.files[i].complete, record.files[i].complete);
    EXPECT_EQ(std::memcmp(again.files[i].md5, record.files[i].md5, sizeof(record.files[i].md5)), 0);
  }
  // Another writer's carriage returns and lower-case digits read the same.
  ASSERT_TRUE(Parse("downloads 1\r\npart a\t5\t0123456789abcdef0123456789abcdef\r\n", &again));
  ASSERT_EQ(again.files.size(), 1u);
  EXPECT_EQ(again.files[0].md5[15], 0xef);
  ASSERT_TRUE(Parse("downloads 1\n", &again));
  EXPECT_TRUE(again.files.empty());
}

TEST(DownloadRecord, UnsafeNamesAreNeverWritten) {
  for (const char* name : {"", "\\a", "/a", "c:a", "a\\..\\b", ".\\a", "a\\\\b", "a\\", "a\tb", "a\nb", "a\x7f"}) {
    DownloadRecord record;
    record.files = {File("fine.bin", 3, true), File(name, 3, true)};
    EXPECT_EQ(FormatDownloadRecord(record), "") << name;
  }
  DownloadRecord record;
  record.files = {File("a.bin", 3, true), File("a.bin", 4, false)};
  EXPECT_EQ(FormatDownloadRecord(record), "") << "a name twice";
  record.files = {File("a.bin", 0, true)};
  EXPECT_EQ(FormatDownloadRecord(record), "") << "size 0";
  record.files = {File(std::string(260, 'a').c_str(), 3, true)};
  EXPECT_EQ(FormatDownloadRecord(record), "") << "too long";
}

// Anything but a whole record keeps nothing: a record cut anywhere, someone else's file, a
// name the manifest would refuse, a bad number or digest.
TEST(DownloadRecord, AnythingButAWholeRecordIsRefused) {
  const std::string good = std::string("downloads 1\ndone a.bin\t10\t") + kDigest + "\npart b.bin\t20\t" + kDigest + "\n";
  // Cut anywhere but at a line's end; there it is a record of fewer files, which keeps less.
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    DownloadRecord record;
    const bool atLineEnd = cut > 0 && good[cut - 1] == '\n';
    EXPECT_EQ(Parse(good.substr(0, cut), &record), atLineEnd) << cut;
    const auto lines = static_cast<std::size_t>(std::count(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut), '\n'));
    EXPECT_EQ(record.files.size(), atLineEnd ? lines - 1 : 0u) << cut;
  }
  const std::string d = kDigest;
  const struct {
    const char* why;
    std::string text;
  } cases[] = {
      {"other header", "downloads 2\n"},
      {"no header", "done a.bin\t10\t" + d + "\n"},
      {"unknown word", "downloads 1\nkept a.bin\t10\t" + d + "\n"},
      {"dot component", "downloads 1\ndone a\\..\\..\\b\t10\t" + d + "\n"},
      {"absolute", "downloads 1\ndone \\windows\\a\t10\t" + d + "\n"},
      {"drive", "downloads 1\npart c:\\a\t10\t" + d + "\n"},
      {"empty name", "downloads 1\ndone \t10\t" + d + "\n"},
      {"name twice", "downloads 1\ndone a\t10\t" + d + "\npart a\t10\t" + d + "\n"},
      {"size 0", "downloads 1\ndone a\t0\t" + d + "\n"},
      {"signed size", "downloads 1\ndone a\t+10\t" + d + "\n"},
      {"size over 64 bits", "downloads 1\ndone a\t18446744073709551616\t" + d + "\n"},
      {"short digest", "downloads 1\ndone a\t10\t" + d.substr(1) + "\n"},
      {"long digest", "downloads 1\ndone a\t10\t" + d + "0\n"},
      {"digest not hex", "downloads 1\ndone a\t10\t" + d.substr(1) + "g\n"},
      {"missing field", "downloads 1\ndone a\t10\n"},
      {"extra field", "downloads 1\ndone a\t10\t" + d + "\tx\n"},
      {"NUL in name", std::string("downloads 1\ndone a\0b\t10\t", 22) + d + "\n"},
      {"blank line", "downloads 1\n\n"},
  };
  for (const auto& c : cases) {
    DownloadRecord record;
    EXPECT_FALSE(Parse(c.text, &record)) << c.why;
    EXPECT_TRUE(record.files.empty()) << c.why;
  }
  DownloadRecord record;
  EXPECT_FALSE(ParseDownloadRecord(nullptr, 0, &record));
}

}  // namespace
