// talvpack zip and exepatch, run as the publisher runs them, and read back with the
// launcher's own trailer and zip readers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "launcher/core/self_extract.h"
#include "launcher/storage/zip_archive.h"
#include "tests/storage/storage_test_util.h"

namespace {

int RunTalvpack(const std::string& args) {
  const char* bin = std::getenv("TALV_BIN_DIR");
  std::string command = std::string(bin != nullptr ? bin : ".") + "/talvpack " + args;
#if defined(_WIN32)
  for (char& c : command) {
    if (c == '/') c = '\\';
  }
  return std::system((command + " >NUL 2>&1").c_str());
#else
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::string Pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(seed >> 16);
  }
  return s;
}

// A game folder: text that deflates, noise that does not, an empty file, an empty folder.
void MakeGameFolder(const std::string& dir) {
  std::filesystem::create_directories(dir + "/data/maps");
  std::filesystem::create_directories(dir + "/empty_folder");
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i) + "\r\n";
  WriteAll(dir + "/data/text.txt", text);
  WriteAll(dir + "/data/maps/noise.bin", Pattern(70000, 7));
  WriteAll(dir + "/client.exe", Pattern(3000, 9));
  WriteAll(dir + "/empty.txt", "");
}

const char* const kGameFiles[] = {"client.exe", "data/maps/noise.bin", "data/text.txt"};

void ExpectSameFiles(ZipArchive& archive, const std::string& game, const std::string& out) {
  for (const char* name : kGameFiles) {
    char path[kMaxPath];
    ASSERT_TRUE(MakeZipEntryPath(out.c_str(), name, path));
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_FALSE(IsZipEntryEmpty(archive, name)) << name;
    ASSERT_TRUE(ExtractZipEntry(path, archive, name)) << name;
    EXPECT_EQ(ReadAll(path), ReadAll(game + "/" + name)) << name;
  }
}

}  // namespace

TEST(TalvpackZip, PacksAFolderTheReaderWalks) {
  const std::string dir = ScratchDir();
  MakeGameFolder(dir + "/game");
  // The empty file would be skipped by the self-extracting patch: packed only when asked.
  EXPECT_NE(RunTalvpack("zip " + dir + "/game -o " + dir + "/patch.zip"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/patch.zip"));
  for (const char* level : {"", " --level 0"}) {
    ASSERT_EQ(RunTalvpack("zip " + dir + "/game -o " + dir + "/patch.zip --allow-empty" + level), 0) << level;
    ZipArchive archive;
    ASSERT_TRUE(OpenZipFile((dir + "/patch.zip").c_str(), archive)) << level;
    const char* const names[] = {"client.exe", "data/", "data/maps/", "data/maps/noise.bin",
                                 "data/text.txt", "empty.txt", "empty_folder/"};
    ASSERT_EQ(GetZipEntryCount(archive), std::size(names));
    for (std::uint32_t i = 0; i < std::size(names); ++i) {
      char name[kMaxPath];
      ASSERT_TRUE(GetZipEntryName(archive, name, i));
      EXPECT_STREQ(name, names[i]);
    }
    for (const char* empty : {"data/", "empty.txt", "empty_folder/"}) EXPECT_TRUE(IsZipEntryEmpty(archive, empty));
    ExpectSameFiles(archive, dir + "/game", dir + "/out");
    const auto packed = std::filesystem::file_size(dir + "/patch.zip");
    if (*level == '\0') {
      EXPECT_LT(packed, 70000u + 3000u + 30000u);  // the text was deflated
    } else {
      EXPECT_GT(packed, 70000u + 3000u + 48890u);  // all stored
    }
  }
  EXPECT_NE(RunTalvpack("zip " + dir + "/missing -o " + dir + "/x.zip"), 0);
}

TEST(TalvpackExePatch, TrailerAndArchiveReadBackAsTheLauncherReadsThem) {
  const std::string dir = ScratchDir();
  MakeGameFolder(dir + "/game");
  ASSERT_EQ(RunTalvpack("zip " + dir + "/game -o " + dir + "/patch.zip --allow-empty"), 0);
  const std::string launcher = Pattern(12345, 3);
  WriteAll(dir + "/Talvenor.exe", launcher);
  ASSERT_EQ(RunTalvpack("exepatch --launcher " + dir + "/Talvenor.exe --from 120 --to 133 --zip " + dir +
                        "/patch.zip -o " + dir + "/Talvenor_patch.exe"),
            0);
  std::string bytes = ReadAll(dir + "/Talvenor_patch.exe");
  const std::string archive = ReadAll(dir + "/patch.zip");
  ASSERT_EQ(bytes.compare(0, launcher.size(), launcher), 0);
  EXPECT_EQ(bytes.size() % 8, 0u);  // a certificate table appended later needs no padding

  // Unsigned, and after signing appended a certificate table.
  for (std::uint32_t certificates : {0u, 64u}) {
    bytes.append(certificates, '\xCC');
    WriteAll(dir + "/signed.exe", bytes);
    MemoryByteSource source(bytes.data(), bytes.size());
    SelfExtractTrailer trailer;
    ASSERT_TRUE(ReadSelfExtractTrailer(source, certificates, &trailer)) << certificates;
    EXPECT_EQ(trailer.a, launcher.size());
    EXPECT_EQ(trailer.b, archive.size());
    EXPECT_EQ(trailer.p, static_cast<std::int64_t>(launcher.size() + archive.size() + 12));
    std::uint32_t begin = 0, end = 0;
    ASSERT_TRUE(ReadExePatchRange(source, certificates, &begin, &end));
    EXPECT_EQ(begin, 120u);
    EXPECT_EQ(end, 133u);

    // The archive through a window onto the executable, as the self-extracting mode opens it.
    // The archive through a window onto the executable, whose inner stream ends at P, as
    // the self-extracting mode opens it.
    std::FILE* file = std::fopen((dir + "/signed.exe").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    auto* inner = new FileStream(file, static_cast<std::uint64_t>(trailer.p));
    ZipArchive zip;
    ASSERT_TRUE(OpenZipStream(new FileStreamPacked(inner, trailer.a, trailer.b, true), zip));
    ExpectSameFiles(zip, dir + "/game", dir + "/out" + std::to_string(certificates));
  }
}

TEST(TalvpackExePatch, RefusesWhatTheLauncherCouldNotUse) {
  const std::string dir = ScratchDir();
  MakeGameFolder(dir + "/game");
  ASSERT_EQ(RunTalvpack("zip " + dir + "/game -o " + dir + "/patch.zip --allow-empty"), 0);
  WriteAll(dir + "/Talvenor.exe", Pattern(4000, 5));
  // A PE image whose certificate table (data directory 4) is not empty: already signed.
  std::string pe(0x200, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  pe[0x3C] = 0x40;
  pe.replace(0x40, 4, std::string("PE\0\0", 4));
  pe[0x40 + 24] = 0x0B;
  pe[0x40 + 25] = 0x01;
  pe[0x40 + 156] = 64;
  WriteAll(dir + "/signed.exe", pe);
  WriteAll(dir + "/not.zip", "just text, no archive");
  ASSERT_EQ(RunTalvpack("exepatch --launcher " + dir + "/Talvenor.exe --from 1 --to 2 --zip " + dir +
                        "/patch.zip -o " + dir + "/patched.exe"),
            0);
  const std::string out = " -o " + dir + "/refused.exe";
  struct Case {
    const char* what;
    std::string args;
  } cases[] = {
      {"begin 0", "--launcher " + dir + "/Talvenor.exe --from 0 --to 2 --zip " + dir + "/patch.zip"},
      {"begin above end", "--launcher " + dir + "/Talvenor.exe --from 3 --to 2 --zip " + dir + "/patch.zip"},
      {"not a number", "--launcher " + dir + "/Talvenor.exe --from 1x --to 2 --zip " + dir + "/patch.zip"},
      {"signed launcher", "--launcher " + dir + "/signed.exe --from 1 --to 2 --zip " + dir + "/patch.zip"},
      {"patched launcher", "--launcher " + dir + "/patched.exe --from 1 --to 2 --zip " + dir + "/patch.zip"},
      {"not an archive", "--launcher " + dir + "/Talvenor.exe --from 1 --to 2 --zip " + dir + "/not.zip"},
      {"missing archive", "--launcher " + dir + "/Talvenor.exe --from 1 --to 2 --zip " + dir + "/none.zip"},
      {"no output", "--launcher " + dir + "/Talvenor.exe --from 1 --to 2 --zip " + dir + "/patch.zip"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(RunTalvpack("exepatch " + c.args + (std::string(c.what) == "no output" ? "" : out)), 0) << c.what;
    EXPECT_FALSE(Exists(dir + "/refused.exe")) << c.what;
  }
}
