// talvpack installer as a publisher runs it: the image it writes is found by the launcher
// as it lies and installs the game; what it refuses leaves no image behind.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/install/install_helper.h"
#include "launcher/patch/version_info.h"
#include "tests/install/install_test_util.h"
#include "tests/support/scoped_launcher.h"

namespace {

const Tree kGame = {{"Talvenor.exe", "the installed launcher"},
                    {"data\\a.txt", "alpha"},
                    {"data\\maps\\b.bin", std::string(5000, 'b')},
                    {"empty.txt", ""}};

class TalvpackInstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = scratch_ / "game";
    CreateDirectoryA(game_.c_str(), nullptr);
    ASSERT_TRUE(WriteTree(game_, kGame));
    saved_ = {L.mgr.m_currentDir, L.mgr.m_mode};
  }
  void TearDown() override {
    CopyString(L.mgr.m_currentDir, saved_.first.c_str());
    L.mgr.m_mode = saved_.second;
    L.mgr.m_installerDir[0] = '\0';
    L.mgr.m_patchDir[0] = '\0';
  }

  ProcessResult Pack(const std::string& options, const std::string& out, const std::string& launcher = "") {
    return RunTalvpack("installer --launcher \"" + (launcher.empty() ? BinPath("Talvenor.exe") : launcher) + "\" " +
                       options + " \"" + game_ + "\" \"" + out + "\"");
  }

  // Installs from the image as the launcher started in it would: its data file is found by
  // the launcher's name; this program's own name then stands in for the launcher's.
  void InstallFrom(const std::string& image, LauncherMode mode, const char* extension) {
    char found[kMaxPath], own[kMaxPath], module[kMaxPath];
    CopyString(L.mgr.m_currentDir, (image + "\\").c_str());
    ASSERT_TRUE(L.mgr.InstallerDataFile((image + "\\Talvenor.exe").c_str(), extension, found, sizeof(found)));
    ASSERT_TRUE(PathExists(found)) << found;
    GetModuleFileNameA(nullptr, module, sizeof(module));
    ASSERT_TRUE(L.mgr.InstallerDataFile(module, extension, own, sizeof(own)));
    ASSERT_TRUE(CopyFileA(found, own, FALSE));
    const std::string installed = scratch_ / ("installed" + std::to_string(mode));
    ASSERT_TRUE(L.mgr.SetGameDir(installed.c_str()));
    L.mgr.m_mode = mode;
    ASSERT_TRUE(RunLocalInstallation(nullptr, nullptr)) << L.log.Joined();
    EXPECT_EQ(ReadTree(installed), kGame);
  }

  ScopedLauncher L;
  ScopedTempDir scratch_;
  std::string game_;
  std::pair<std::string, LauncherMode> saved_;
};

}  // namespace

TEST_F(TalvpackInstaller, ZipImageInstallsAsItLies) {
  const std::string out = scratch_ / "image";
  const ProcessResult r = Pack("", out);
  ASSERT_TRUE(r.finished && r.exitCode == 0) << r.output;
  const Tree image = ReadTree(out);
  ASSERT_EQ(image.size(), 2u);
  EXPECT_EQ(image.at("Talvenor.exe"), ReadFileOr(BinPath("Talvenor.exe")));
  EXPECT_EQ(image.count("Talvenor.tlvn"), 1u);
  ASSERT_NO_FATAL_FAILURE(InstallFrom(out, ModeZipInstall, "tlvn"));
}

TEST_F(TalvpackInstaller, SplitImageListsItsPartsInOrderAndInstalls) {
  const std::string out = scratch_ / "image";
  const ProcessResult r = Pack("--parts 1k --level 0", out);
  ASSERT_TRUE(r.finished && r.exitCode == 0) << r.output;
  const Tree image = ReadTree(out);
  CVersionInfo manifest;
  ASSERT_TRUE(manifest.ReadFromMemory(image.at("Talvenor.dat").c_str()));
  ASSERT_GE(manifest.GetCount(), 6u);  // over 5 KB stored
  std::string joined;
  for (std::size_t i = 0; i < manifest.GetCount(); ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "Talvenor.%03u", static_cast<unsigned>(i + 1));
    EXPECT_EQ(std::string(manifest.GetName(i)), name);
    const std::string& part = image.at(name);
    EXPECT_EQ(manifest.GetSize(i), part.size());
    EXPECT_LE(part.size(), 1024u);
    joined += part;
  }
  EXPECT_EQ(image.size(), manifest.GetCount() + 2);  // the parts, the manifest, the launcher
  EXPECT_EQ(joined.compare(0, 4, "PK\3\4"), 0);
  ASSERT_NO_FATAL_FAILURE(InstallFrom(out, ModeSplitInstall, "dat"));
}

TEST_F(TalvpackInstaller, RefusalsLeaveNoImage) {
  const std::string badName = scratch_ / "launcher.bin";
  ASSERT_TRUE(CopyFileA(BinPath("Talvenor.exe").c_str(), badName.c_str(), FALSE));
  const std::string patchZip = PackZip(scratch_, {{"a.txt", "a"}});
  ASSERT_FALSE(patchZip.empty());
  const std::string patched = scratch_ / "patched.exe";
  const ProcessResult p = RunTalvpack("exepatch --launcher \"" + BinPath("Talvenor.exe") + "\" --from 1 --to 2 --zip \"" +
                                      patchZip + "\" -o \"" + patched + "\"");
  ASSERT_TRUE(p.finished && p.exitCode == 0) << p.output;
  const std::string full = scratch_ / "full";
  CreateDirectoryA(full.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(full + "\\keep.txt", "kept"));

  struct Case {
    const char* what;
    std::string options, out, launcher, message;
  } cases[] = {
      {"launcher name without exe", "", scratch_ / "o1", badName, "must contain \"exe\""},
      {"self-extracting patch", "", scratch_ / "o2", patched, "carries a patch archive"},
      {"output folder in use", "", full, "", "exists and is not an empty folder"},
      {"output inside the game", "", game_ + "\\image", "", "outside GAME_DIR"},
      {"part size 0", "--parts 0", scratch_ / "o3", "", "--parts takes a size"},
      {"missing launcher", "", scratch_ / "o4", scratch_ / "none.exe", "cannot read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ProcessResult r = Pack(c.options, c.out, c.launcher);
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0u);
    EXPECT_NE(r.output.find("talvpack installer: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  EXPECT_EQ(ReadTree(full), (Tree{{"keep.txt", "kept"}}));
  EXPECT_EQ(ReadTree(game_), kGame);
  // No image and no staging folder anywhere.
  WIN32_FIND_DATAA entry;
  CFindHandle find(FindFirstFileA((scratch_.path() + "\\*").c_str(), &entry));
  ASSERT_TRUE(find);
  std::vector<std::string> names;
  do {
    names.push_back(entry.cFileName);
  } while (FindNextFileA(find.get(), &entry));
  for (const std::string& name : names) {
    EXPECT_TRUE(name == "." || name == ".." || name == "game" || name == "full" || name == "launcher.bin" ||
                name == "patched.exe" || name.rfind("src", 0) == 0)
        << name;
  }
}
