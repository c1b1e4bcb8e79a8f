// The local installation as the installer dialog's worker runs it: archives beside the
// launcher (written by talvpack or Python's zipfile), extracted into a new game folder,
// with the installed-file record, the stop flag and the clean-up after failures.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "launcher/core/paths.h"
#include "launcher/install/install_helper.h"
#include "launcher/patch/version_info.h"
#include "launcher/ui/panel.h"
#include "tests/install/install_test_util.h"
#include "tests/storage/storage_test_util.h"
#include "tests/support/scoped_launcher.h"

namespace {

const Tree kGame = {{"Talvenor.exe", "launcher bytes"},
                    {"data\\a.txt", "alpha"},
                    {"data\\maps\\b.bin", std::string(300000, 'b') + "end"},
                    {"readme.txt", "read me"}};

class Install : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = scratch_ / "image";  // the folder the launcher runs in
    CreateDirectoryA(image_.c_str(), nullptr);
    game_ = scratch_ / "game";
    saved_ = {L.mgr.m_currentDir, L.mgr.m_mode};
    CopyString(L.mgr.m_currentDir, (image_ + "\\").c_str());
    ASSERT_TRUE(L.mgr.SetGameDir(game_.c_str()));
    L.mgr.SetMessageHook(&Install::Hook, this);
  }
  void TearDown() override {
    L.mgr.SetMessageHook(nullptr, nullptr);
    CopyString(L.mgr.m_currentDir, saved_.currentDir.c_str());
    L.mgr.m_mode = saved_.mode;
    L.mgr.m_installerDir[0] = '\0';
    L.mgr.m_patchDir[0] = '\0';
  }
  static int Hook(int id, const char*, int, void* self) {
    static_cast<Install*>(self)->messages_.push_back(id);
    return 0;
  }

  // The installer data file this program would find ("tlvn" or "dat"), from its own name.
  std::string DataFile(const char* extension) {
    char module[kMaxPath], path[kMaxPath];
    GetModuleFileNameA(nullptr, module, sizeof(module));
    EXPECT_TRUE(L.mgr.InstallerDataFile(module, extension, path, sizeof(path)));
    return path;
  }
  // kGame (or files) zipped by talvpack into the zip installer file.
  void PlaceZip(const Tree& files = kGame) {
    const std::string zip = PackZip(scratch_, files);
    ASSERT_FALSE(zip.empty());
    ASSERT_TRUE(CopyFileA(zip.c_str(), DataFile("tlvn").c_str(), FALSE));
    L.mgr.m_mode = ModeZipInstall;
  }
  void PlaceSample(const char* sample) {
    ASSERT_TRUE(CopyFileA(WinPath(SamplePath(sample)).c_str(), DataFile("tlvn").c_str(), FALSE)) << sample;
    L.mgr.m_mode = ModeZipInstall;
  }
  // The archive cut into parts: names[i] gets the i-th piece, the manifest lists them in
  // that order. An empty name leaves its piece out of the folder (but in the manifest).
  void PlaceParts(const std::vector<std::string>& names, const std::vector<std::string>& missing = {}) {
    const std::string zip = PackZip(scratch_, kGame);
    ASSERT_FALSE(zip.empty());
    const std::string bytes = ReadFileOr(zip);
    const std::size_t piece = bytes.size() / names.size() + 1;
    std::string manifest;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string part = bytes.substr(i * piece, piece);
      bool skip = false;
      for (const std::string& m : missing) skip = skip || m == names[i];
      if (!skip) {
        ASSERT_TRUE(WriteFileBytes(image_ + "\\" + names[i], part));
      }
      manifest += names[i] + "," + std::to_string(part.size()) + ",00000000000000000000000000000000,1\r\n";
    }
    ASSERT_TRUE(WriteFileBytes(DataFile("dat"), manifest));
    L.mgr.m_mode = ModeSplitInstall;
  }

  std::vector<std::string> Recorded() const { return RecordedFiles(L.mgr.m_installedFiles); }
  std::vector<std::string> Expected(const Tree& files) const {
    std::vector<std::string> out;
    for (const auto& f : files) out.push_back(ForwardPath(game_ + "\\" + f.first));
    std::sort(out.begin(), out.end());
    return out;
  }

  ScopedLauncher L;
  ScopedTempDir scratch_;
  std::string image_, game_;
  struct {
    std::string currentDir;
    LauncherMode mode;
  } saved_;
  std::vector<int> messages_;
  RecordingPanel panel_;
};

}  // namespace

TEST_F(Install, ZipInstallerWritesEveryFileAndRecordsIt) {
  ASSERT_NO_FATAL_FAILURE(PlaceZip());
  ASSERT_TRUE(RunLocalInstallation(&panel_, nullptr));
  EXPECT_EQ(ReadTree(game_), kGame);  // also: the installer folder is gone again
  EXPECT_EQ(Recorded(), Expected(kGame));
  EXPECT_TRUE(L.log.Contains("Extract file : " + ForwardPath(game_ + "\\data\\maps\\b.bin")));
  EXPECT_EQ(panel_.texts, (std::vector<std::string>{"Copying install file...", "Extract install file..."}));
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(PathExists(DataFile("tlvn")));  // the installer's own files stay
}

TEST_F(Install, SplitInstallerJoinsThePartsInTheManifestsOrder) {
  // Name order (a, m, z) is not the manifest's order.
  ASSERT_NO_FATAL_FAILURE(PlaceParts({"part_z", "part_a", "part_m"}));
  ASSERT_TRUE(RunLocalInstallation(&panel_, nullptr));
  EXPECT_EQ(ReadTree(game_), kGame);
  EXPECT_EQ(Recorded(), Expected(kGame));
  EXPECT_EQ(panel_.texts,
            (std::vector<std::string>{"Copying install file...", "Merge installer files...", "Extract install file..."}));
  ASSERT_GE(panel_.progress.size(), 3u);
  EXPECT_EQ(std::vector<int>(panel_.progress.begin(), panel_.progress.begin() + 3), (std::vector<int>{0, 33, 66}));
}

TEST_F(Install, MissingPartFailsAndLeavesNothingNorTouchesTheUsersFiles) {
  // The image folder's name holds "dat": the ".zip" names derived from the manifest's
  // name by replacing every "dat" are files of the user's, beside the launcher and in a
  // folder of their own.
  image_ = scratch_ / "update_data";
  CreateDirectoryA(image_.c_str(), nullptr);
  CopyString(L.mgr.m_currentDir, (image_ + "\\").c_str());
  ASSERT_NO_FATAL_FAILURE(PlaceParts({"p1", "p2", "p3"}, {"p2"}));
  std::string userZip = DataFile("dat");
  ReplaceAll(userZip, "dat", "zip");
  const std::string besideZip = DataFile("zip");
  CreateDirectoryA(std::filesystem::path(userZip).parent_path().string().c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(userZip, "the user's archive"));
  ASSERT_TRUE(WriteFileBytes(besideZip, "another of the user's archives"));

  EXPECT_FALSE(RunLocalInstallation(&panel_, nullptr));
  EXPECT_EQ(messages_, std::vector<int>{47});
  EXPECT_TRUE(L.log.Contains("Fail to find file \"" + image_ + "\\p2\" for reading."));
  EXPECT_EQ(ReadTree(game_), Tree{});
  EXPECT_TRUE(Recorded().empty());
  EXPECT_EQ(ReadFileOr(userZip), "the user's archive");
  EXPECT_EQ(ReadFileOr(besideZip), "another of the user's archives");
}

TEST_F(Install, FailedJoinDeletesOnlyTheJoinedArchive) {
  // The helper the installer dialog calls after a failure, on its own: the joined archive
  // goes, the installer's data files and the user's archive stay.
  ASSERT_NO_FATAL_FAILURE(PlaceParts({"p1", "p2"}, {"p2"}));
  ASSERT_TRUE(CreateDirectoryA(game_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(L.mgr.m_installerDir, nullptr));
  const std::string besideZip = DataFile("zip");
  ASSERT_TRUE(WriteFileBytes(besideZip, "the user's archive"));
  {
    CInstallHelper helper(&panel_, nullptr);
    EXPECT_FALSE(helper.Install());
  }
  char joined[kMaxPath];
  ASSERT_TRUE(GetJoinedArchivePath(joined));
  EXPECT_EQ(std::string(joined), std::string(L.mgr.m_installerDir) + "\\talvenor_install.cab");
  EXPECT_FALSE(PathExists(joined));
  ASSERT_TRUE(WriteFileBytes(joined, "a joined archive left by an earlier run"));
  CleanUpFailedInstallation();
  EXPECT_FALSE(PathExists(joined));
  EXPECT_EQ(ReadFileOr(besideZip), "the user's archive");
  EXPECT_TRUE(PathExists(DataFile("dat")));
  EXPECT_TRUE(PathExists(image_ + "\\p1"));
}

TEST_F(Install, StopDuringExtractionLeavesNoExtractedFile) {
  ASSERT_NO_FATAL_FAILURE(PlaceZip());
  bool stop = false;
  panel_.onProgress = [&](int percent) { stop = stop || percent > 0; };  // while the second file is written
  EXPECT_FALSE(RunLocalInstallation(&panel_, [&] { return stop; }));
  EXPECT_TRUE(L.log.Contains("Extract file : " + ForwardPath(game_ + "\\data\\a.txt")));
  EXPECT_FALSE(L.log.Contains("Extract file : " + ForwardPath(game_ + "\\readme.txt")));
  EXPECT_EQ(ReadTree(game_), Tree{});
  EXPECT_TRUE(Recorded().empty());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(Install, FaultyArchivesFailAndLeaveNothing) {
  struct Case {
    const char* sample;
    const char* logged;
  } cases[] = {
      {"unsafe.zip", "Fail to extract file, the name is refused : \"../evil.txt\""},
      {"corrupt.zip", "Fail to unzCloseCurrentFile file : "},      // checksum mismatch
      {"short.zip", "... 50000 of 50001 bytes"},                     // data ends early
      {"empty.zip", "Fail to open zip file : "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    ASSERT_NO_FATAL_FAILURE(PlaceSample(c.sample));
    EXPECT_FALSE(RunLocalInstallation(&panel_, nullptr));
    EXPECT_TRUE(L.log.Joined().find(c.logged) != std::string::npos) << L.log.Joined();
    EXPECT_TRUE(L.log.Contains("Fail to Extract zip file. : \"" + DataFile("tlvn") + "\""));
    EXPECT_EQ(ReadTree(game_), Tree{});
    EXPECT_TRUE(Recorded().empty());
  }
  // Nothing reached the folders above the game folder either.
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(scratch_.path(), ec)) {
    EXPECT_EQ(e.path().filename().string().find("evil"), std::string::npos) << e.path().string();
  }
}

TEST_F(Install, FolderEntriesAreFoldersNeverFiles) {
  // Python's zipfile deflates the empty data of "emptydir/" to two bytes.
  ASSERT_NO_FATAL_FAILURE(PlaceSample("folders.zip"));
  ASSERT_TRUE(RunLocalInstallation(&panel_, nullptr));
  const Tree installed = {{"emptydir\\inside.txt", "inside the folder"}, {"top.txt", "top level"}};
  EXPECT_EQ(ReadTree(game_), installed);
  EXPECT_FALSE(PathExists(game_ + "\\back"));
  EXPECT_EQ(Recorded(), Expected(installed));
}

namespace {

// Bytes that differ from one part to the next and along each part, so that a part out of
// place, a chunk written twice or a hole shows.
std::string PartBytes(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 4093 + seed * 31) % 251);
  return bytes;
}

std::uint64_t SizeOf(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

TEST_F(Install, JoinCopiesPartsOfSeveralChunksWhole) {
  // Chunk boundaries inside the parts, and an empty part between them.
  const std::vector<std::string> parts = {PartBytes(kJoinChunk + 1, 1), "", PartBytes(2 * kJoinChunk - 1, 2),
                                          PartBytes(10, 3)};
  std::string manifest, whole;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string name = "part" + std::to_string(i);
    ASSERT_TRUE(WriteFileBytes(image_ + "\\" + name, parts[i]));
    manifest += name + ",1,00000000000000000000000000000000,1\r\n";
    whole += parts[i];
  }
  CVersionInfo list;
  ASSERT_TRUE(list.ReadFromMemory(manifest.c_str()));
  ASSERT_TRUE(CreateDirectoryA(game_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(L.mgr.m_installerDir, nullptr));
  CInstallHelper helper(&panel_, nullptr);
  char joined[kMaxPath] = {};
  ASSERT_TRUE(helper.MergeSplitFiles(list, joined));
  EXPECT_EQ(std::string(joined), std::string(L.mgr.m_installerDir) + "\\talvenor_install.cab");
  EXPECT_TRUE(ReadFileOr(joined) == whole);  // not EXPECT_EQ: megabytes in a failure message
  EXPECT_EQ(panel_.progress, (std::vector<int>{0, 25, 50, 75}));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(Install, StopBetweenChunksEndsTheJoin) {
  ASSERT_TRUE(WriteFileBytes(image_ + "\\p1", PartBytes(2 * kJoinChunk + 1, 1)));
  CVersionInfo list;
  ASSERT_TRUE(list.ReadFromMemory("p1,1,00000000000000000000000000000000,1\r\n"));
  ASSERT_TRUE(CreateDirectoryA(game_.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(L.mgr.m_installerDir, nullptr));
  char joinedPath[kMaxPath];
  ASSERT_TRUE(GetJoinedArchivePath(joinedPath));
  // Asked for once the first chunk is in the archive.
  CInstallHelper helper(&panel_, [&] { return SizeOf(joinedPath) >= kJoinChunk; });
  char joined[kMaxPath] = {};
  EXPECT_FALSE(helper.MergeSplitFiles(list, joined));
  EXPECT_EQ(SizeOf(joinedPath), kJoinChunk);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(DeleteJoinedArchive());
  EXPECT_FALSE(PathExists(joinedPath));
}
