#include "launcher/storage/zip_archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/storage/memory_stream.h"
#include "tests/storage/storage_test_util.h"

namespace {

struct Walked {
  std::string name;
  bool empty;
  bool extracted;  // meaningful for entries that are not empty
};

// The walk the launcher's callers make: names, emptiness, then extraction into dir.
std::vector<Walked> Walk(ZipArchive& archive, const std::string& dir) {
  std::vector<Walked> out;
  const std::uint32_t n = GetZipEntryCount(archive);
  for (std::uint32_t i = 0; i < n; ++i) {
    char name[kMaxPath];
    EXPECT_TRUE(GetZipEntryName(archive, name, i)) << i;
    Walked w{name, IsZipEntryEmpty(archive, name), false};
    char path[kMaxPath];
    if (!w.empty && MakeZipEntryPath(dir.c_str(), name, path)) {
      std::error_code ec;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
      w.extracted = ExtractZipEntry(path, archive, name);
    }
    out.push_back(w);
  }
  char name[kMaxPath];
  EXPECT_FALSE(GetZipEntryName(archive, name, n));
  return out;
}

void ExpectWalk(const std::vector<Walked>& got, const std::vector<Walked>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].name, want[i].name) << i;
    EXPECT_EQ(got[i].empty, want[i].empty) << want[i].name;
    if (!want[i].empty) {
      EXPECT_EQ(got[i].extracted, want[i].extracted) << want[i].name;
    }
  }
}

std::string Expected(const std::string& name) { return ReadAll(SamplePath("expected/" + name)); }

}  // namespace

TEST(ZipArchive, SamplesArePresent) {
  ASSERT_TRUE(Exists(SamplePath("mixed.zip"))) << "run through ctest: the zip_samples fixture writes them";
}

TEST(ZipArchive, PythonArchiveWithEveryKindOfEntry) {
  const std::string dir = ScratchDir();
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile(SamplePath("mixed.zip").c_str(), archive));  // found before the comment
  ExpectWalk(Walk(archive, dir), {{"stored.txt", false, true},
                                   {"dir/", true, false},
                                   {"dir/deflated.bin", false, true},
                                   {"dir/stored_noise.bin", false, true},
                                   {"bzip2.txt", false, false},
                                   {"empty.txt", true, false}});
  for (const char* name : {"stored.txt", "dir/deflated.bin", "dir/stored_noise.bin"}) {
    EXPECT_EQ(ReadAll(dir + "/" + name), Expected(name)) << name;
  }
  // The unsupported method leaves its empty file; entries without data leave none.
  EXPECT_TRUE(Exists(dir + "/bzip2.txt"));
  EXPECT_EQ(ReadAll(dir + "/bzip2.txt"), "");
  EXPECT_FALSE(Exists(dir + "/empty.txt"));
  EXPECT_TRUE(ExtractZipEntry((dir + "/empty_again.txt").c_str(), archive, "empty.txt"));
  EXPECT_FALSE(Exists(dir + "/empty_again.txt"));
  CloseZip(archive);
  EXPECT_EQ(GetZipEntryCount(archive), 0u);
}

TEST(ZipArchive, DataDescriptorAndZip64Entries) {
  const std::string dir = ScratchDir();
  {
    // Local sizes 0, the real ones behind the data: taken from the directory, so the file
    // is extracted instead of silently skipped.
    ZipArchive archive;
    ASSERT_TRUE(OpenZipFile(SamplePath("descriptor.zip").c_str(), archive));
    ExpectWalk(Walk(archive, dir), {{"streamed.bin", false, true},
                                     {"streamed_stored.txt", false, true},
                                     {"streamed_empty.txt", true, false}});
    EXPECT_EQ(ReadAll(dir + "/streamed.bin"), Expected("dir/deflated.bin"));
    EXPECT_EQ(ReadAll(dir + "/streamed_stored.txt"), Expected("stored.txt"));
  }
  {
    ZipArchive archive;
    ASSERT_TRUE(OpenZipFile(SamplePath("zip64.zip").c_str(), archive));
    ExpectWalk(Walk(archive, dir), {{"big64.bin", false, true}, {"stored64.txt", false, true}});
    EXPECT_EQ(ReadAll(dir + "/big64.bin"), Expected("dir/deflated.bin"));
    EXPECT_EQ(ReadAll(dir + "/stored64.txt"), Expected("stored.txt"));
  }
}

TEST(ZipArchive, FolderEntriesAreNeverFiles) {
  // zipfile deflates a folder's empty data to two bytes; "back\slash\" is a folder only by
  // its separator. Neither may become a file that blocks the folder of the same name.
  const std::string dir = ScratchDir();
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile(SamplePath("folders.zip").c_str(), archive));
  ExpectWalk(Walk(archive, dir), {{"emptydir/", true, false},
                                   {"back\\slash\\", true, false},
                                   {"emptydir/inside.txt", false, true},
                                   {"top.txt", false, true}});
  EXPECT_EQ(ReadAll(dir + "/emptydir/inside.txt"), "inside the folder");
  EXPECT_FALSE(Exists(dir + "/back"));
  EXPECT_TRUE(ExtractZipEntry((dir + "/probe").c_str(), archive, "emptydir/"));
  EXPECT_TRUE(ExtractZipEntry((dir + "/probe").c_str(), archive, "back\\slash\\"));
  EXPECT_FALSE(Exists(dir + "/probe"));
}

TEST(ZipArchive, EntriesThatAreNotWhatTheDirectorySaysFail) {
  const std::string dir = ScratchDir();
  struct Case {
    const char* archive;
    const char* entry;
  } cases[] = {{"corrupt.zip", "damaged.txt"}, {"short.zip", "short.bin"}};
  for (const Case& c : cases) {
    ZipArchive archive;
    ASSERT_TRUE(OpenZipFile(SamplePath(c.archive).c_str(), archive)) << c.archive;
    EXPECT_TRUE(ExtractZipEntry((dir + "/good.txt").c_str(), archive, "good.txt")) << c.archive;
    EXPECT_FALSE(ExtractZipEntry((dir + "/bad").c_str(), archive, c.entry)) << c.archive;
  }
}

TEST(ZipArchive, ShortEmptyAndMissingArchives) {
  // The 22-byte archive of no entries is searched in one short block.
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile(SamplePath("empty.zip").c_str(), archive));
  EXPECT_EQ(GetZipEntryCount(archive), 0u);
  EXPECT_EQ(FindZipEntry(archive, "anything"), kZipNotFound);
  EXPECT_FALSE(OpenZipFile(SamplePath("no such.zip").c_str(), archive));

  const std::string text = "no archive in here, only text long enough for several blocks";
  EXPECT_FALSE(OpenZipStream(new MemoryStream(text.data(), text.size()), archive));
  EXPECT_FALSE(OpenZipStream(new MemoryStream("PK\5\6", 4), archive));  // record cut short
}

TEST(ZipArchive, TruncatedArchivesFailWithoutReadingOutside) {
  const std::string bytes = ReadAll(SamplePath("mixed.zip"));
  const std::size_t end = bytes.rfind(std::string("PK\5\6", 4));
  ASSERT_NE(end, std::string::npos);
  // Only cuts behind the directory's size and offset leave an archive; others cannot be opened,
  // also when the stream claims the full size but delivers less.
  for (std::size_t cut : {bytes.size() - 1, end + 22, end + 21, end + 15, end + 3, end - 1, end / 2,
                          std::size_t{27}, std::size_t{3}}) {
    ZipArchive archive;
    EXPECT_EQ(OpenZipStream(new MemoryStream(bytes.data(), cut), archive), cut >= end + 20) << cut;
    ZipArchive claimed;
    EXPECT_EQ(OpenZipStream(new MemoryStream(bytes.data(), cut, bytes.size()), claimed), false) << cut;
  }
  // A directory claiming more bytes than the stream has is refused before allocating.
  std::string huge = bytes;
  huge[end + 12] = huge[end + 13] = huge[end + 14] = huge[end + 15] = '\xF0';
  ZipArchive archive;
  EXPECT_FALSE(OpenZipStream(new MemoryStream(huge.data(), huge.size()), archive));
}

TEST(ZipArchive, StoredDataRunningPastTheStreamFails) {
  // The stored entry claims more data than the stream holds: the copy ends in failure.
  std::string bytes = ReadAll(SamplePath("mixed.zip"));
  ASSERT_EQ(bytes.compare(0, 4, "PK\3\4"), 0);
  ASSERT_EQ(bytes.compare(30, 10, "stored.txt"), 0);
  bytes[18] = bytes[19] = bytes[20] = '\x7F';  // local compressed size of "stored.txt"
  ZipArchive archive;
  ASSERT_TRUE(OpenZipStream(new MemoryStream(bytes.data(), bytes.size()), archive));
  EXPECT_FALSE(ExtractZipEntry((ScratchDir() + "/stored.txt").c_str(), archive, "stored.txt"));
}

TEST(ZipArchive, DirectoryEntriesRunningPastTheDirectoryAreNotWalked) {
  std::string bytes = ReadAll(SamplePath("mixed.zip"));
  const std::size_t end = bytes.rfind(std::string("PK\5\6", 4));
  // Cut the directory's size by 3 bytes: the last entry's name then runs past it.
  unsigned size = static_cast<unsigned char>(bytes[end + 12]) | (static_cast<unsigned char>(bytes[end + 13]) << 8);
  size -= 3;
  bytes[end + 12] = static_cast<char>(size & 0xFF);
  bytes[end + 13] = static_cast<char>(size >> 8);
  ZipArchive archive;
  ASSERT_TRUE(OpenZipStream(new MemoryStream(bytes.data(), bytes.size()), archive));
  EXPECT_EQ(GetZipEntryCount(archive), 5u);
  EXPECT_EQ(FindZipEntry(archive, "empty.txt"), kZipNotFound);
  char name[kMaxPath];
  EXPECT_FALSE(GetZipEntryName(archive, name, 5));
}

TEST(ZipArchive, BoundsOfNamesAndExtraFields) {
  const std::string dir = ScratchDir();
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile(SamplePath("odd.zip").c_str(), archive));
  ASSERT_EQ(GetZipEntryCount(archive), 3u);
  char name[kMaxPath];
  EXPECT_FALSE(GetZipEntryName(archive, name, 1));  // 300 characters do not fit 260
  char small[8];
  EXPECT_FALSE(GetZipEntryName(archive, small, 2));
  EXPECT_TRUE(GetZipEntryName(archive, name, 2));
  // A local extra field longer than the ZIP64 record's area is refused.
  EXPECT_FALSE(ExtractZipEntry((dir + "/long_extra.txt").c_str(), archive, "long_extra.txt"));
  EXPECT_FALSE(Exists(dir + "/long_extra.txt"));
}

TEST(ZipArchive, NameLookupIsExact) {
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile(SamplePath("odd.zip").c_str(), archive));
  EXPECT_NE(FindZipEntry(archive, "Case/Name.txt"), kZipNotFound);
  for (const char* miss : {"case/name.txt", "CASE/NAME.TXT", "Case\\Name.txt", "Case/Name.tx", "Case/Name.txt ", ""}) {
    EXPECT_EQ(FindZipEntry(archive, miss), kZipNotFound) << miss;
    EXPECT_FALSE(IsZipEntryEmpty(archive, miss)) << miss;
    EXPECT_FALSE(ExtractZipEntry((ScratchDir() + "/x").c_str(), archive, miss)) << miss;
  }
}

TEST(ZipArchive, ExtractedFileCarriesTheEntryTimeAsLocalTime) {
  const std::string dir = ScratchDir();
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile(SamplePath("mixed.zip").c_str(), archive));
  for (const char* name : {"stored.txt", "dir/deflated.bin"}) {
    const std::string path = dir + "/" + std::filesystem::path(name).filename().string();
    ASSERT_TRUE(ExtractZipEntry(path.c_str(), archive, name));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    std::time_t when = st.st_mtime;
    const std::tm* t = std::localtime(&when);
    ASSERT_NE(t, nullptr);
    // 2021-03-04 05:06:08, as make_samples.py writes it.
    EXPECT_EQ(t->tm_year + 1900, 2021) << name;
    EXPECT_EQ(t->tm_mon + 1, 3) << name;
    EXPECT_EQ(t->tm_mday, 4) << name;
    EXPECT_EQ(t->tm_hour, 5) << name;
    EXPECT_EQ(t->tm_min, 6) << name;
    EXPECT_EQ(t->tm_sec, 8) << name;
  }
}

TEST(ZipArchive, NamesLeavingTheFolderAreRefused) {
  const std::string root = ScratchDir();
  const std::string dir = root + "/game";
  std::filesystem::create_directories(dir);
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile(SamplePath("unsafe.zip").c_str(), archive));
  const std::uint32_t n = GetZipEntryCount(archive);
  ASSERT_EQ(n, 10u);
  for (std::uint32_t i = 0; i < n; ++i) {
    char name[kMaxPath], path[kMaxPath];
    ASSERT_TRUE(GetZipEntryName(archive, name, i));
    const bool safe = std::string(name) == "ok/fine.txt";
    EXPECT_EQ(IsSafeZipEntryName(name), safe) << name;
    EXPECT_EQ(MakeZipEntryPath(dir.c_str(), name, path), safe) << name;
    // Even handed a path inside the folder, the entry itself is refused.
    EXPECT_EQ(ExtractZipEntry((dir + "/probe").c_str(), archive, name), safe) << name;
  }
  // Nothing but the probe came to be, inside or outside the folder.
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    found.push_back(e.path().lexically_relative(root).generic_string());
  }
  EXPECT_EQ(found, (std::vector<std::string>{"game", "game/probe"}));
}

TEST(ZipArchive, EntryNameSafetyAndPaths) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {
      {"a.txt", true},         {"dir/sub/a.txt", true}, {"dir\\a.txt", true},   {"dir/", true},
      {"..a/b..", true},       {"./a.txt", false},      {"a/.../b", false},     {"..", false},
      {".", false},            {"a/./b", false},        {"a/ .", false},        {".a/b.", true},
      {"a/..", false},         {"a\\..\\b", false},     {"/a", false},          {"\\\\server\\a", false},
      {"D:a", false},          {"a:b", false},          {"", false},            {". . /a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeZipEntryName(c.name), c.safe) << c.name;

  struct Folder {
    const char* name;
    bool folder;
  } folders[] = {{"dir/", true}, {"a\\b\\", true}, {"a/b", false}, {"", false},
                 {"a/\xB3\x5C", false},  // ends with a Big5 character whose trail byte is 0x5C
                 {"a/\xB3\x5C/", true}};
  for (const auto& f : folders) EXPECT_EQ(IsZipFolderName(f.name), f.folder) << f.name;

  char out[kMaxPath];
  ASSERT_TRUE(MakeZipEntryPath("C:\\Game\\patch", "data\\maps/", out));
  EXPECT_STREQ(out, "C:/Game/patch/data/maps");
  const std::string longName(300, 'n');
  EXPECT_FALSE(MakeZipEntryPath("C:\\Game", longName.c_str(), out));
  EXPECT_STREQ(out, "");
}
