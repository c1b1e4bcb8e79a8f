// The installation as a player runs it: the real Talvenor.exe started in an install image
// made by talvpack installer (or with "/install" against the loopback servers), driven
// through its screens from the logo to the finish screen, and the installation checked from
// outside: files, registry values, shortcuts, folders.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "launcher/core/registry.h"
#include "launcher/core/win_handle.h"
#include "launcher/install/dlg_installer.h"
#include "launcher/ui/folder_chooser.h"
#include "launcher/ui/installer_layout.h"
#include "tests/install/install_test_util.h"
#include "tests/install/shell_checks.h"
#include "tests/install/uninstall_test_util.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/screen_capture.h"
#include "tests/support/ui_driver.h"

namespace {

using shell_checks::ReadShellLink;
using shell_checks::RemoverFiles;
using shell_checks::ShellLinkInfo;

constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;
// Generous: the logo alone stays two seconds, and the machine is shared.
constexpr std::uint32_t kScreenMs = 60000;

// A game as the publisher packs it: the client with the folders that make an installation.
const Tree kGame = {{"Talvenor.exe", "the installed launcher"},
                    {"client.exe", "client"},
                    {"version.dat", std::string("\x01\0\0\0", 4)},
                    {"movie\\intro.avi", "movie"},
                    {"mp3\\theme.mp3", "music"},
                    {"data\\maps\\world.map", std::string(3000, 'w')}};

std::string LauncherLog() { return ReadFileOr(LauncherLogFolder() + "\\launcher_log.txt"); }

// The places an installation writes outside its game folder.
struct Places {
  std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  std::string startMenu = SpecialFolder(CSIDL_PROGRAMS) + "\\talvenor";
  std::string user = SpecialFolder(CSIDL_PERSONAL) + "\\" + LauncherString(60);
  std::string desktopLink = desktop + "\\talvenor.lnk";
  std::string screenshots = user + "\\" + LauncherString(36);
  std::string myFiles = user + "\\" + LauncherString(39);

  // The Wine prefix is shared by the whole run: nothing of an installation may stay.
  void Clean() const {
    RemoveRegistrations();
    DeleteFileA(desktopLink.c_str());
    RemoveTree(startMenu);
    const std::string ini = user + "\\desktop.ini";
    SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(ini.c_str());
    RemoveTree(screenshots);
    RemoveTree(myFiles);
    const DWORD attributes = GetFileAttributesA(user.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(user.c_str(), attributes & ~FILE_ATTRIBUTE_SYSTEM);
  }
};

// A window of the launcher that has the control `with` and not the control `without`.
UiWindow WaitForScreen(std::uint32_t processId, int with, int without = 0, std::uint32_t timeoutMs = kScreenMs) {
  UiWindow found = nullptr;
  WaitUntil(
      [&] {
        found = ui::WaitForWindow(ui::ScreenOf(processId, with), 0);
        if (found != nullptr && without != 0 && ui::Control(found, without) != nullptr) found = nullptr;
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

// What the installation added to the game folder besides the game's own files.
Tree WithoutInstallerFiles(Tree tree) {
  tree.erase("Uninstall.lnk");
  tree.erase("desktop.ini");
  return tree;
}

class InstallerFlow : public ::testing::Test {
 protected:
  void SetUp() override { places_.Clean(); }
  void TearDown() override {
    launcher_.Kill();
    places_.Clean();
  }

  // An install image of the game made by talvpack installer; "" on failure.
  std::string MakeImage(const Tree& game, const std::string& options = "") {
    const std::string name = "image" + std::to_string(++images_);
    const std::string source = scratch_ / (name + "_src");
    const std::string out = scratch_ / name;
    CreateDirectoryA(source.c_str(), nullptr);
    if (!WriteTree(source, game)) return "";
    const ProcessResult r = RunTalvpack("installer --launcher \"" + BinPath("Talvenor.exe") + "\" " + options + " \"" +
                                        source + "\" \"" + out + "\"");
    EXPECT_TRUE(r.finished && r.exitCode == 0) << r.output;
    return r.finished && r.exitCode == 0 ? out : "";
  }

  // The launcher started as the player starts it: inside the image.
  bool StartImage(const std::string& image) {
    return launcher_.Start("\"" + image + "\\Talvenor.exe\"", image);
  }

  std::uint32_t Pid() const { return launcher_.Id(); }

  // Waits for the next message box, checks its text and answers it.
  void Answer(int stringId, int button) {
    UiWindow box = ui::WaitForMessageBox(Pid(), kScreenMs);
    ASSERT_NE(box, nullptr) << "no message box; expected string " << stringId << "\n" << LauncherLog();
    EXPECT_EQ(ui::MessageBoxText(box), LauncherString(stringId));
    ASSERT_TRUE(ui::AnswerMessageBox(box, button));
    ASSERT_TRUE(ui::WaitForWindowGone(box));
  }

  // Logo and agreement: *page is the folder page.
  void ToFolderPage(UiWindow* page) {
    UiWindow agreement = WaitForScreen(Pid(), 1001);
    ASSERT_NE(agreement, nullptr) << LauncherLog();
    ASSERT_TRUE(ui::Click(agreement, 1009));
    *page = WaitForScreen(Pid(), 1004);
    ASSERT_NE(*page, nullptr) << LauncherLog();
  }

  // The folder page's cancel, answered "yes": the launcher ends and nothing is installed.
  void CancelOnFolderPage(UiWindow page) {
    ASSERT_TRUE(ui::Click(page, 1010));
    ASSERT_NO_FATAL_FAILURE(Answer(3, kAnswerYes));
    ASSERT_TRUE(Exits()) << LauncherLog();
    EXPECT_EQ(ProductKeyDefault(), "");
    EXPECT_FALSE(PathExists(places_.desktopLink));
  }

  // Answer, past the question about a small disk (string 25, "yes") when it comes first:
  // the test machine's disk may be small.
  void AnswerAfterDiskQuestion(int stringId, int button) {
    UiWindow box = ui::WaitForMessageBox(Pid(), kScreenMs);
    ASSERT_NE(box, nullptr) << "no message box; expected string " << stringId << "\n" << LauncherLog();
    if (ui::MessageBoxText(box) == LauncherString(25)) {
      ASSERT_TRUE(ui::AnswerMessageBox(box, kAnswerYes));
      ASSERT_TRUE(ui::WaitForWindowGone(box));
    }
    ASSERT_NO_FATAL_FAILURE(Answer(stringId, button));
  }

  // Logo, agreement and folder page: the folder typed in and accepted. *installer is the
  // installer screen (it may already be gone again when the installation was quick).
  void ToInstaller(const std::string& folder, UiWindow* installer) {
    UiWindow page = nullptr;
    ASSERT_NO_FATAL_FAILURE(ToFolderPage(&page));
    ASSERT_TRUE(SetWindowTextA(ui::Control(page, 1005), folder.c_str()));
    ASSERT_TRUE(ui::Click(page, 1009));
    // A small disk asks whether to go on (string 25); the test machine's disk may be small.
    UiWindow next = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
          next = ui::WaitForWindow(ui::ScreenOf(Pid(), 1008), 0);
          if (next != nullptr) return true;
          if (UiWindow box = ui::WaitForMessageBox(Pid(), 0)) {
            EXPECT_EQ(ui::MessageBoxText(box), LauncherString(25));
            ui::AnswerMessageBox(box, kAnswerYes);
            ui::WaitForWindowGone(box);
          }
          return WaitForScreen(Pid(), 1005, 1004, 0) != nullptr;  // the finish screen came already
        },
        kScreenMs))
        << LauncherLog();
    *installer = next;
  }

  // The whole flow of an installation into folder; ends with the launcher's exit.
  void Install(const std::string& image, const std::string& folder) {
    ASSERT_TRUE(StartImage(image));
    UiWindow installer = nullptr;
    ASSERT_NO_FATAL_FAILURE(ToInstaller(folder, &installer));
    ASSERT_NO_FATAL_FAILURE(Finish());
  }

  void Finish() {
    UiWindow finish = WaitForScreen(Pid(), 1005, 1004);
    ASSERT_NE(finish, nullptr) << LauncherLog();
    ASSERT_TRUE(ui::Click(finish, 1010));
    ASSERT_TRUE(Exits());
  }

  bool Exits() {
    std::uint32_t code = 99;
    return launcher_.Wait(30000, &code) && code == 0;
  }

  // A "/install" run against the server tree `server` into game; the game folder then holds
  // release `version` of sample, byte for byte, beside version.dat and the installer's files.
  void InstallFromServer(const SampleGame& sample, int version, const std::string& server, const std::string& game) {
    ScopedTempDir cwd;
    ASSERT_TRUE(launcher_.Start("\"" + BinPath("Talvenor.exe") + "\" /install patchurl:" + HttpBase(server), cwd.path()));
    UiWindow installer = nullptr;
    ASSERT_NO_FATAL_FAILURE(ToInstaller(game, &installer));
    ASSERT_NO_FATAL_FAILURE(Finish());
    Tree installed = WithoutInstallerFiles(ReadTree(game));
    const std::string versionFile(reinterpret_cast<const char*>(&version), 4);  // little-endian, as written
    EXPECT_EQ(installed["version.dat"], versionFile);
    installed.erase("version.dat");
    const SampleGame::Files published = sample.ReleaseFiles(version);
    EXPECT_EQ(installed, Tree(published.begin(), published.end()));
    EXPECT_FALSE(PathExists(game + "\\patch"));
  }

  // The installed-file record ("Files") as the launcher left it.
  std::vector<std::string> Recorded() {
    ScopedLauncher record;
    record.mgr.LoadInstalledFiles();
    return RecordedFiles(record.mgr.m_installedFiles);
  }

  std::string ProductKeyDefault() {
    char dir[MAX_PATH] = {};
    return CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, dir, "", sizeof(dir)) ? dir : "";
  }

  Places places_;
  ScopedTempDir scratch_;
  ChildProcess launcher_;
  int images_ = 0;
};

// The nine shortcuts of an installation: link file, target, arguments, icon path and index
// (empty and -1 for the default icon), description.
struct ExpectedLink {
  std::string file, target, arguments, iconPath;
  int iconIndex;
  int description;
};

std::vector<ExpectedLink> ExpectedLinks(const Places& places, const std::string& game) {
  const std::string exe = game + "\\Talvenor.exe";
  const std::string menu = places.startMenu + "\\";
  return {
      {game + "\\Uninstall.lnk", exe, "/uninstall", exe, 1, 43},
      {places.desktopLink, exe, "", "", -1, 44},
      {menu + LauncherString(51), places.screenshots, "", "", -1, 54},
      {menu + LauncherString(52), places.myFiles, "", "", -1, 55},
      {menu + LauncherString(56), game + "\\default.reg", "", "", -1, 57},
      {menu + LauncherString(58), LauncherString(62), "", exe, 2, 53},
      {menu + "talvenor.lnk", exe, "", "", -1, 44},
      {menu + LauncherString(76), exe, "repair", "", -1, 77},
      {menu + LauncherString(59), exe, "/uninstall", exe, 1, 43},
  };
}

std::string DesktopIni(const std::string& iconFile) {
  return "[.ShellClassInfo]\r\nConfirmFileOp=0\r\nNoSharing=1\r\nIconFile=" + iconFile +
         "\r\nIconIndex=0\r\nInfoTip=" + LauncherString(34) + "\n";
}

// Everything the finish screen leaves: registrations, shortcuts, folders and desktop.ini
// files, and the record of every file written (game files included).
void ExpectRegistered(const Places& places, const std::string& game, const Tree& files,
                      const std::vector<std::string>& recorded) {
  char dir[MAX_PATH] = {};
  EXPECT_TRUE(CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, dir, "", sizeof(dir)));
  EXPECT_EQ(std::string(dir), game);
  DWORD values = 0, subkeys = 0;
  EXPECT_TRUE(KeyContent(HKEY_LOCAL_MACHINE, kUninstallKey, &values, &subkeys));
  EXPECT_EQ(values, 5u);
  char guid[MAX_PATH] = {};  // the lobby registration's values lie in the product key
  EXPECT_TRUE(CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, guid, "Guid", sizeof(guid)));
  EXPECT_STREQ(guid, kLobbyGuid);
  std::uint32_t level = 0;
  EXPECT_TRUE(CRegistry::ReadDWORD(kBrowserEmulationKey, &level));

  CComScope com;
  std::set<std::string> expected;
  for (const ExpectedLink& want : ExpectedLinks(places, game)) {
    SCOPED_TRACE(want.file);
    const ShellLinkInfo link = ReadShellLink(want.file);
    ASSERT_TRUE(link.read);
    if (want.target.rfind("http://", 0) == 0) {
      // Wine's link object takes a web address for a file name relative to the working
      // directory ("...\http:\host\"): only the host survives to be compared.
      const std::string host = want.target.substr(7, want.target.find('/', 7) - 7);
      EXPECT_NE(link.target.find(host), std::string::npos) << link.target;
    } else {
      EXPECT_EQ(link.target, want.target);
    }
    EXPECT_EQ(link.arguments, want.arguments);
    EXPECT_EQ(link.workingDir, game);
    EXPECT_EQ(link.description, LauncherString(want.description));
    if (want.iconIndex >= 0) {
      EXPECT_EQ(link.iconPath, want.iconPath);
      EXPECT_EQ(link.iconIndex, want.iconIndex);
    }
    expected.insert(ForwardPath(want.file));
  }

  const std::string exe = game + "\\Talvenor.exe";
  struct Ini {
    std::string folder, icon;
  } inis[] = {{places.startMenu, exe}, {places.user, exe}, {game, "Talvenor.exe"}};
  for (const Ini& ini : inis) {
    SCOPED_TRACE(ini.folder);
    const std::string path = ini.folder + "\\desktop.ini";
    EXPECT_EQ(ReadFileOr(path), DesktopIni(ini.icon));
    const DWORD attributes = GetFileAttributesA(path.c_str());
    constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(attributes & kHiddenSystem, kHiddenSystem);
    EXPECT_NE(GetFileAttributesA(ini.folder.c_str()) & FILE_ATTRIBUTE_SYSTEM, 0u);
    expected.insert(ForwardPath(path));
  }
  EXPECT_TRUE(PathExists(places.screenshots));
  EXPECT_TRUE(PathExists(places.myFiles));

  for (const auto& file : files) expected.insert(ForwardPath(game + "\\" + file.first));
  EXPECT_EQ(std::set<std::string>(recorded.begin(), recorded.end()), expected);
  EXPECT_FALSE(PathExists(game + "\\Talvenor Installer"));
}

TEST_F(InstallerFlow, ZipImageInstallsIntoANewFolderAndRegistersTheGame) {
  const std::string image = MakeImage(kGame);
  ASSERT_FALSE(image.empty());
  const std::string game = scratch_ / "new\\Talvenor";
  ASSERT_NO_FATAL_FAILURE(Install(image, game));
  EXPECT_EQ(WithoutInstallerFiles(ReadTree(game)), kGame);
  ExpectRegistered(places_, game, kGame, Recorded());
}

TEST_F(InstallerFlow, SplitImageJoinsItsPartsInTheManifestsOrder) {
  // Three parts: a third of the whole archive each, rounded up.
  const std::string whole = MakeImage(kGame, "--level 0");
  ASSERT_FALSE(whole.empty());
  const std::size_t size = ReadFileOr(whole + "\\Talvenor.tlvn").size();
  const std::string image = MakeImage(kGame, "--level 0 --parts " + std::to_string(size / 3 + 1));
  ASSERT_FALSE(image.empty());
  ASSERT_FALSE(PathExists(image + "\\Talvenor.004"));
  // Renamed so that their names sort against the manifest's order.
  std::string manifest = ReadFileOr(image + "\\Talvenor.dat");
  const std::vector<std::string> parts = {"Talvenor.001", "Talvenor.002", "Talvenor.003"};
  const std::vector<std::string> renamed = {"part_c", "part_b", "part_a"};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    ASSERT_TRUE(MoveFileA((image + "\\" + parts[i]).c_str(), (image + "\\" + renamed[i]).c_str())) << parts[i];
    const std::size_t at = manifest.find(parts[i]);
    ASSERT_NE(at, std::string::npos);
    manifest.replace(at, parts[i].size(), renamed[i]);
  }
  ASSERT_TRUE(WriteFileBytes(image + "\\Talvenor.dat", manifest));

  const std::string game = scratch_ / "split";
  ASSERT_NO_FATAL_FAILURE(Install(image, game));
  EXPECT_EQ(WithoutInstallerFiles(ReadTree(game)), kGame);
  ExpectRegistered(places_, game, kGame, Recorded());
}

TEST_F(InstallerFlow, ServerInstallDownloadsTheGameIntoTheChosenFolder) {
  if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
  const std::string sampleDir = scratch_ / "sample";
  ASSERT_TRUE(CreateDirectoryA(sampleDir.c_str(), nullptr));
  SampleGame sample(sampleDir);
  const SampleGame::Files files = {{"data\\a.txt", "alpha"}, {"data\\big.bin", std::string(50000, 'b')}};
  ASSERT_TRUE(sample.AddRelease(100, files));
  const std::string server = "inst_" + std::to_string(TickMs());
  ASSERT_TRUE(sample.Publish(100, WwwFolder(server), ServerEnv("TALV_HTTP_HOST") + ":80/" + server));
  const std::string game = scratch_ / "served";
  ASSERT_NO_FATAL_FAILURE(InstallFromServer(sample, 100, server, game));

  const SampleGame::Files published = sample.ReleaseFiles(100);
  const std::vector<std::string> recorded = Recorded();
  for (const auto& file : published) {
    EXPECT_NE(std::find(recorded.begin(), recorded.end(), ForwardPath(game + "\\" + file.first)), recorded.end())
        << file.first;
  }
  EXPECT_EQ(ProductKeyDefault(), game);
}

// Files go straight into the game folder, so no delta applies: the compressed whole files
// travel, and what lands is the release, byte for byte.
TEST_F(InstallerFlow, ServerInstallTakesTheCompressedFilesOfATreeWithTheTransferIndex) {
  if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
  const std::string sampleDir = scratch_ / "sample";
  ASSERT_TRUE(CreateDirectoryA(sampleDir.c_str(), nullptr));
  SampleGame sample(sampleDir);
  std::string table;
  for (int i = 0; i < 4000; ++i) table += "row" + std::to_string(i) + ",potion," + std::to_string(i % 97) + "\r\n";
  ASSERT_TRUE(sample.AddRelease(99, {{"data\\a.txt", "alpha"}, {"data\\table.txt", table}}));
  ASSERT_TRUE(sample.AddRelease(100, {{"data\\a.txt", "alpha"}, {"data\\table.txt", table + "new,1\r\n"},
                                      {"data\\big.bin", std::string(50000, 'b')}}));
  const std::string server = "inst_forms_" + std::to_string(TickMs());
  const std::string files = ServerEnv("TALV_HTTP_HOST") + ":80/" + server;
  const std::string earlier = scratch_ / "t99";
  ASSERT_TRUE(sample.Publish(99, earlier, files)) << sample.Why();
  ASSERT_TRUE(sample.Publish(100, WwwFolder(server), files, "--delta-from \"" + earlier + "\"")) << sample.Why();
  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  const std::size_t logged = FileLines(accessLog).size();
  ASSERT_NO_FATAL_FAILURE(InstallFromServer(sample, 100, server, scratch_ / "served"));

  std::vector<std::string> requested;
  const auto asked = [&](const std::string& path) {
    return std::find(requested.begin(), requested.end(), path) != requested.end();
  };
  WaitUntil(
      [&] {
        requested = ServedPaths(accessLog, logged, server);
        return asked("Talvenor.forms/data/table.txt.zst") && asked("Talvenor.forms/data/big.bin.zst");
      },
      5000);
  EXPECT_TRUE(asked("forms.txt")) << ::testing::PrintToString(requested);
  for (const char* name : {"data/table.txt", "data/big.bin"}) {
    EXPECT_TRUE(asked(std::string("Talvenor.forms/") + name + ".zst")) << name << ::testing::PrintToString(requested);
    EXPECT_FALSE(asked(std::string("Talvenor/") + name)) << name;
  }
  for (const std::string& path : requested) EXPECT_EQ(path.find(".from-"), std::string::npos) << path;
}

TEST_F(InstallerFlow, ServerInstallWithoutPatchInformationSaysSoAndEnds) {
  if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
  ScopedTempDir cwd;
  const std::string patchUrl = HttpBase("inst_nothing_published");
  ASSERT_TRUE(launcher_.Start("\"" + BinPath("Talvenor.exe") + "\" /install patchurl:" + patchUrl, cwd.path()));
  const std::string game = scratch_ / "unserved";
  UiWindow installer = nullptr;
  ASSERT_NO_FATAL_FAILURE(ToInstaller(game, &installer));
  ASSERT_NO_FATAL_FAILURE(Answer(48, kAnswerOk));
  ASSERT_TRUE(Exits()) << LauncherLog();
  EXPECT_EQ(ReadTree(game), Tree{});
  EXPECT_EQ(ProductKeyDefault(), "");
}

TEST_F(InstallerFlow, CancelDuringTheExtractionRemovesEverythingAndEnds) {
  // Many small entries: the extraction takes long enough for the question and its answer,
  // and the stop is seen between entries.
  Tree many = kGame;
  for (int i = 0; i < 3000; ++i) many["data\\many\\f" + std::to_string(i) + ".txt"] = std::to_string(i);
  const std::string image = MakeImage(many);
  ASSERT_FALSE(image.empty());
  const std::string game = scratch_ / "cancelled";
  ASSERT_TRUE(StartImage(image));
  UiWindow installer = nullptr;
  ASSERT_NO_FATAL_FAILURE(ToInstaller(game, &installer));
  ASSERT_NE(installer, nullptr) << "the installation ended before the cancel";
  ASSERT_TRUE(WaitUntil([&] { return PathExists(game + "\\data\\many"); }, kScreenMs)) << LauncherLog();

  // The page sits in the middle of the stretched screen, in its own window class.
  HWND frame = FindWindowExA(installer, nullptr, kInstallerChildClass, nullptr);
  ASSERT_NE(frame, nullptr);
  RECT client = {}, area = {};
  GetClientRect(GetWindow(installer, GW_OWNER), &client);
  GetWindowRect(frame, &area);
  LayoutRect full;
  full.right = client.right;
  full.bottom = client.bottom;
  const LayoutRect want = InstallerPageArea(full);
  EXPECT_EQ(area.right - area.left, want.right - want.left);
  EXPECT_EQ(area.bottom - area.top, want.bottom - want.top);

  // "No" lets the installation go on; "yes" stops it.
  ASSERT_TRUE(ui::Click(installer, 1008));
  ASSERT_NO_FATAL_FAILURE(Answer(3, kAnswerNo));
  EXPECT_TRUE(IsWindow(installer));
  ASSERT_TRUE(ui::Click(installer, 1008));
  ASSERT_NO_FATAL_FAILURE(Answer(3, kAnswerYes));
  ASSERT_TRUE(Exits()) << LauncherLog();

  EXPECT_EQ(ReadTree(game), Tree{});
  EXPECT_TRUE(Recorded().empty());
  EXPECT_FALSE(PathExists(game + "\\Talvenor Installer"));
  EXPECT_EQ(ProductKeyDefault(), "");  // the finish screen never came
  EXPECT_FALSE(PathExists(places_.desktopLink));
}

TEST_F(InstallerFlow, MissingSecondPartEndsWithMessage47AndLeavesNothing) {
  const std::string image = MakeImage(kGame, "--parts 1k --level 0");
  ASSERT_FALSE(image.empty());
  ASSERT_TRUE(DeleteFileA((image + "\\Talvenor.002").c_str()));
  const std::string game = scratch_ / "unfinished";
  ASSERT_TRUE(StartImage(image));
  UiWindow installer = nullptr;
  ASSERT_NO_FATAL_FAILURE(ToInstaller(game, &installer));
  ASSERT_NO_FATAL_FAILURE(Answer(47, kAnswerOk));
  ASSERT_TRUE(Exits()) << LauncherLog();
  EXPECT_EQ(ReadTree(game), Tree{});
  EXPECT_FALSE(PathExists(game + "\\Talvenor Installer"));
  EXPECT_EQ(ProductKeyDefault(), "");
}

TEST_F(InstallerFlow, InstallingOverAnInstalledGameAsksFirst) {
  Tree first = kGame;
  first["old.txt"] = "only in the first installation";
  const std::string firstImage = MakeImage(first);
  const std::string secondImage = MakeImage(kGame);
  ASSERT_FALSE(firstImage.empty());
  ASSERT_FALSE(secondImage.empty());
  const std::string game = scratch_ / "again";
  ASSERT_NO_FATAL_FAILURE(Install(firstImage, game));
  const Tree installed = ReadTree(game);
  const std::vector<std::string> recorded = Recorded();
  ASSERT_EQ(installed.count("old.txt"), 1u);

  // No: every file and value stays.
  ASSERT_TRUE(StartImage(secondImage));
  ASSERT_NO_FATAL_FAILURE(Answer(30, kAnswerNo));
  ASSERT_TRUE(Exits());
  EXPECT_EQ(ReadTree(game), installed);
  EXPECT_EQ(Recorded(), recorded);
  EXPECT_EQ(ProductKeyDefault(), game);
  EXPECT_TRUE(PathExists(places_.desktopLink));

  // Yes: what the first installation recorded is gone before the second one begins.
  ASSERT_TRUE(StartImage(secondImage));
  ASSERT_NO_FATAL_FAILURE(Answer(30, kAnswerYes));
  ASSERT_NE(WaitForScreen(Pid(), 1001), nullptr);
  for (const std::string& file : recorded) EXPECT_FALSE(PathExists(file)) << file;
  EXPECT_TRUE(Recorded().empty());
  UiWindow installer = nullptr;
  ASSERT_NO_FATAL_FAILURE(ToInstaller(game, &installer));
  ASSERT_NO_FATAL_FAILURE(Finish());
  EXPECT_EQ(WithoutInstallerFiles(ReadTree(game)), kGame);
  ExpectRegistered(places_, game, kGame, Recorded());
}

TEST_F(InstallerFlow, RefusingTheAgreementAsksAndYesEndsTheLauncher) {
  const std::string image = MakeImage(kGame);
  ASSERT_FALSE(image.empty());
  const Tree before = ReadTree(image);
  ASSERT_TRUE(StartImage(image));
  for (int button : {1010, 1032}) {
    SCOPED_TRACE(button);
    UiWindow agreement = WaitForScreen(Pid(), 1001);
    ASSERT_NE(agreement, nullptr) << LauncherLog();
    ASSERT_TRUE(ui::Click(agreement, button));
    ASSERT_NO_FATAL_FAILURE(Answer(3, button == 1010 ? kAnswerNo : kAnswerYes));
  }
  ASSERT_TRUE(Exits());
  EXPECT_EQ(ReadTree(image), before);
  EXPECT_EQ(ProductKeyDefault(), "");
}

TEST_F(InstallerFlow, FolderPageRefusesADriveRootAndAFolderItCannotMake) {
  const std::string image = MakeImage(kGame);
  ASSERT_FALSE(image.empty());
  ASSERT_TRUE(WriteFileBytes(scratch_ / "file", "a file, not a folder"));
  ASSERT_TRUE(StartImage(image));
  UiWindow page = nullptr;
  ASSERT_NO_FATAL_FAILURE(ToFolderPage(&page));
  const struct {
    std::string folder;
    int message;
  } cases[] = {
      {"C:\\", 50},                   // the separator goes first: "C:" is too short
      {scratch_ / "file\\game", 23},  // no folder can be made under a file
  };
  for (const auto& refused : cases) {
    SCOPED_TRACE(refused.folder);
    ASSERT_TRUE(SetWindowTextA(ui::Control(page, 1005), refused.folder.c_str()));
    ASSERT_TRUE(ui::Click(page, 1009));
    ASSERT_NO_FATAL_FAILURE(AnswerAfterDiskQuestion(refused.message, kAnswerOk));
    EXPECT_TRUE(IsWindowVisible(page));
    EXPECT_EQ(ui::Text(page, 1005), refused.folder);
  }
  EXPECT_EQ(ui::WaitForWindow(ui::ScreenOf(Pid(), 1008), 0), nullptr);
  EXPECT_FALSE(PathExists(scratch_ / "file\\game"));
  ASSERT_NO_FATAL_FAILURE(CancelOnFolderPage(page));
}

using Names = std::vector<std::string>;

Names FixedDriveLabels() {
  char drives[512] = {};
  Names labels;
  GetLogicalDriveStringsA(sizeof(drives) - 1, drives);
  for (const char* root = drives; *root != '\0'; root += std::strlen(root) + 1) {
    if (GetDriveTypeA(root) == DRIVE_FIXED) labels.push_back(std::string(root, 2));
  }
  return labels;
}

TEST_F(InstallerFlow, FolderChooserListsLazilyHidesSystemFoldersAndReturnsTheChoice) {
  constexpr int kTree = 1011;
  const std::string root = scratch_ / "tree";
  ASSERT_EQ(root.compare(0, 3, "C:\\"), 0) << root;
  for (const char* folder : {"", "\\a", "\\a\\deep", "\\a\\deep\\deeper", "\\b", "\\hidden", "\\sys"}) {
    ASSERT_TRUE(CreateDirectoryA((root + folder).c_str(), nullptr)) << folder;
  }
  ASSERT_TRUE(SetFileAttributesA((root + "\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA((root + "\\sys").c_str(), FILE_ATTRIBUTE_SYSTEM));
  ASSERT_NE(GetFileAttributesA((root + "\\sys").c_str()) & FILE_ATTRIBUTE_SYSTEM, 0u);
  const std::string image = MakeImage(kGame);
  ASSERT_FALSE(image.empty());
  ASSERT_TRUE(StartImage(image));
  UiWindow page = nullptr;
  ASSERT_NO_FATAL_FAILURE(ToFolderPage(&page));
  ASSERT_TRUE(SetWindowTextA(ui::Control(page, 1005), root.c_str()));
  ASSERT_TRUE(ui::Click(page, 1004));
  UiWindow chooser = WaitForScreen(Pid(), kTree);
  ASSERT_NE(chooser, nullptr) << LauncherLog();

  // Every fixed drive; the typed folder selected, its subfolders listed when it is opened,
  // theirs only probed: an expand button ("//") where there is something to list.
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree), FixedDriveLabels());
  const UiTreeItem top = ui::TreeSelection(chooser, kTree);
  ASSERT_NE(top, nullptr);
  EXPECT_STRCASEEQ(ui::Text(chooser, 1015).c_str(), root.c_str());
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, top), Names({kFolderPlaceholder}));
  ASSERT_TRUE(ui::TreeExpand(chooser, kTree, top));
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, top), Names({"a", "b", "hidden"}));
  const UiTreeItem a = ui::TreeChild(chooser, kTree, top, "a");
  const UiTreeItem b = ui::TreeChild(chooser, kTree, top, "b");
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, a), Names({kFolderPlaceholder}));
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, b), Names());
  ASSERT_TRUE(ui::TreeExpand(chooser, kTree, a));
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, a), Names({"deep"}));
  const UiTreeItem deep = ui::TreeChild(chooser, kTree, a, "deep");
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, deep), Names({kFolderPlaceholder}));

  // A new folder: its item is renamed as the name is typed; cancel takes it away again.
  ASSERT_TRUE(ui::TreeSelect(chooser, kTree, top));
  ASSERT_TRUE(ui::Click(chooser, 3));
  UiWindow naming = WaitForScreen(Pid(), 1015, kTree);
  ASSERT_NE(naming, nullptr) << LauncherLog();
  const UiTreeItem made = ui::TreeSelection(chooser, kTree);
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, top), Names({"Talvenor", "a", "b", "hidden"}));
  EXPECT_EQ(ui::TreeChild(chooser, kTree, top, "Talvenor"), made);
  for (const std::string typed : {"", "mods"}) {
    ASSERT_TRUE(SetWindowTextA(ui::Control(naming, 1015), typed.c_str()));
    EXPECT_EQ(ui::TreeItemText(chooser, kTree, made), typed);
    EXPECT_EQ(ui::IsEnabled(naming, 1), !typed.empty());
  }
  ASSERT_TRUE(ui::Click(naming, 2));
  ASSERT_TRUE(ui::WaitForWindowGone(naming));
  EXPECT_EQ(ui::TreeSelection(chooser, kTree), top);
  EXPECT_EQ(ui::TreeChildTexts(chooser, kTree, top), Names({"a", "b", "hidden"}));
  EXPECT_FALSE(PathExists(root + "\\mods"));

  // OK hands the selected folder to the page.
  ASSERT_TRUE(ui::TreeSelect(chooser, kTree, deep));
  const std::string chosen = root + "\\a\\deep";
  EXPECT_STRCASEEQ(ui::Text(chooser, 1015).c_str(), chosen.c_str());
  ASSERT_TRUE(ui::Click(chooser, 1016));
  ASSERT_TRUE(ui::WaitForWindowGone(chooser));
  EXPECT_STRCASEEQ(ui::Text(page, 1005).c_str(), chosen.c_str());
  ASSERT_NO_FATAL_FAILURE(CancelOnFolderPage(page));
  EXPECT_EQ(ReadTree(chosen), Tree{});
}

// The life of an installation: installed from an image, patched once through host mode,
// then uninstalled from its own launcher, which leaves nothing of it behind.
TEST_F(InstallerFlow, InstalledPatchedAndUninstalledLeavesNothing) {
  if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
  const std::string sampleDir = scratch_ / "sample";
  ASSERT_TRUE(CreateDirectoryA(sampleDir.c_str(), nullptr));
  SampleGame sample(sampleDir);
  ASSERT_TRUE(sample.AddRelease(100, {{"data\\a.txt", "one"}, {"data\\gone.txt", "old"}}));
  ASSERT_TRUE(sample.AddRelease(101, {{"data\\a.txt", "two"}, {"data\\b.txt", "new"}}));
  const std::string server = "life_" + std::to_string(TickMs());
  ASSERT_TRUE(sample.Publish(101, WwwFolder(server), ServerEnv("TALV_HTTP_HOST") + ":80/" + server));
  // Release 100 as the publisher ships it: its version, the real launcher, the folders of
  // an installation.
  const SampleGame::Files release = sample.ReleaseFiles(100);
  Tree shipped(release.begin(), release.end());
  shipped["version.dat"] = std::string("\x64\x00\x00\x00", 4);
  shipped["Talvenor.exe"] = ReadFileOr(BinPath("Talvenor.exe"));
  shipped["movie\\intro.avi"] = "movie";
  shipped["mp3\\theme.mp3"] = "music";
  const std::string image = MakeImage(shipped);
  ASSERT_FALSE(image.empty());
  const std::string game = scratch_ / "life";
  ASSERT_NO_FATAL_FAILURE(Install(image, game));

  HostSession host;
  ASSERT_TRUE(host.Start(game + "\\Talvenor.exe", "patchurl:" + HttpBase(server), game));
  EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1");
  EXPECT_EQ(ReadFileOr(game + "\\data\\b.txt"), "new");
  const std::vector<std::string> recorded = Recorded();
  EXPECT_NE(std::find(recorded.begin(), recorded.end(), ForwardPath(game + "\\data\\b.txt")), recorded.end());

  // A file the player put into the start-menu folder goes with the folder.
  const std::string own = places_.startMenu + "\\notes.txt";
  ASSERT_TRUE(WriteFileBytes(own, "mine"));

  const std::set<std::string> removersBefore = RemoverFiles();
  ASSERT_TRUE(launcher_.Start("\"" + game + "\\Talvenor.exe\" /uninstall", game));
  UiWindow screen = WaitForScreen(Pid(), 1019);
  ASSERT_NE(screen, nullptr) << LauncherLog();
  ASSERT_TRUE(ui::Click(screen, 1019));
  ASSERT_NO_FATAL_FAILURE(Answer(5, kAnswerYes));
  ASSERT_NO_FATAL_FAILURE(Answer(27, kAnswerOk));
  ASSERT_TRUE(Exits());

  const std::string running = ForwardPath(game + "\\Talvenor.exe");  // talvremover's, below
  for (const std::string& file : recorded) {
    if (file != running) {
      EXPECT_FALSE(PathExists(file)) << file;
    }
  }
  EXPECT_FALSE(PathExists(places_.startMenu));
  EXPECT_FALSE(PathExists(places_.desktopLink));
  EXPECT_FALSE(PathExists(game + "\\Uninstall.lnk"));
  // The player's own folder stays, with the two folders made for the player's files.
  EXPECT_TRUE(PathExists(places_.screenshots));
  EXPECT_TRUE(PathExists(places_.myFiles));
  {
    ScopedLauncher check;
    ExpectRegistrationsRemoved(check.mgr);
  }
  // talvremover takes the launcher once it has exited, then the emptied game folder, then
  // its own file.
  EXPECT_TRUE(WaitUntil([&] { return !PathExists(game); }, 30000)) << ReadTree(game).size();
  EXPECT_TRUE(WaitUntil([&] { return RemoverFiles() == removersBefore; }, 30000));
}

// An image made with --version, of a game with Chinese names (許 and 功 end in the byte of
// "\\") and empty "movie" and "mp3" folders, installed through the screens: the game is
// there under its names, counts as installed, and its first launch against a server at the
// same version fetches nothing but the patch information and starts the client.
TEST_F(InstallerFlow, ImageAtItsVersionInstallsAPlayableGameThatDownloadsNothing) {
  if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
  const std::string data = "\xB8\xEA\xAE\xC6", xu = "\xB3\x5C";  // 資料, 許 in code page 950
  const Tree files = {{"Talvenor.exe", ReadFileOr(BinPath("Talvenor.exe"))},
                      {"client.exe", ReadFileOr(BinPath("stub_client.exe"))},
                      {data + "\\\xB4\xFA\xB8\xD5.txt", "test"},  // 資料\測試.txt
                      {xu + "\\\xA5\x5C.dat", "function"}};       // 許\功.dat
  const std::string source = scratch_ / "release7";
  CreateDirectoryA(source.c_str(), nullptr);
  ASSERT_TRUE(WriteTree(source, files));
  for (const char* empty : {"movie", "mp3"}) ASSERT_TRUE(CreateDirectoryA((source + "\\" + empty).c_str(), nullptr));
  const std::string image = scratch_ / "image7";
  const ProcessResult packed = RunTalvpack("installer --version 7 --launcher \"" + BinPath("Talvenor.exe") + "\" \"" +
                                           source + "\" \"" + image + "\"");
  ASSERT_TRUE(packed.finished && packed.exitCode == 0) << packed.output;
  const std::string game = scratch_ / "game7";
  ASSERT_NO_FATAL_FAILURE(Install(image, game));
  for (const auto& [name, content] : files) EXPECT_EQ(ReadFileOr(game + "\\" + name), content) << name;
  EXPECT_EQ(ReadFileOr(game + "\\version.dat"), std::string("\x07\0\0\0", 4));
  for (const char* empty : {"movie", "mp3"}) {
    const DWORD attributes = GetFileAttributesA((game + "\\" + empty).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) << empty;
  }

  const std::string server = "at7_" + std::to_string(TickMs());
  const ProcessResult published =
      RunTalvpack("publish --version 7 --login 127.0.0.1:11000 --files-address " + ServerEnv("TALV_HTTP_HOST") + ":80/" +
                  server + " \"" + source + "\" \"" + WwwFolder(server) + "\"");
  ASSERT_TRUE(published.finished && published.exitCode == 0) << published.output;
  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  const std::size_t logged = FileLines(accessLog).size();
  HostSession host;
  ASSERT_TRUE(host.Start(game + "\\Talvenor.exe", "play patchurl:" + HttpBase(server), game));
  EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1") << host.RawOutput();
  EXPECT_TRUE(WaitUntil([&] { return !ReadFileOr(game + "\\client.exe.cmdline").empty(); }, 30000));
  const auto requests = [&] {
    std::vector<std::string> lines = FileLines(accessLog);
    std::size_t count = 0;
    for (std::size_t i = logged; i < lines.size(); ++i) count += lines[i].find("/" + server + "/") != std::string::npos;
    return count;
  };
  // nginx logs a request once its reply is out, which may be after the launcher ended.
  EXPECT_TRUE(WaitUntil([&] { return requests() >= 1; }, 5000));
  EXPECT_EQ(requests(), 1u) << "only patch_live.txt is asked for";
}

// The installer screen of the real dialog in the middle of an extraction.
TEST(Screens, DISABLED_Installer) {
  Places places;
  places.Clean();
  ScopedLauncher launcher;
  ScopedTempDir image;
  Tree many;
  for (int i = 0; i < 3000; ++i) many["data\\f" + std::to_string(i) + ".txt"] = std::to_string(i);
  const std::string zip = PackZip(image, many);
  ASSERT_FALSE(zip.empty());
  // The zip installer file is found by this program's own name.
  char module[MAX_PATH], data[MAX_PATH];
  GetModuleFileNameA(nullptr, module, sizeof(module));
  CopyString(launcher.mgr.m_currentDir, (image.path() + "\\").c_str());
  ASSERT_TRUE(launcher.mgr.InstallerDataFile(module, "tlvn", data, sizeof(data)));
  ASSERT_TRUE(CopyFileA(zip.c_str(), data, FALSE));
  ASSERT_TRUE(launcher.mgr.SetGameDir((launcher.game / "Talvenor").c_str()));
  const LauncherMode mode = launcher.mgr.m_mode;
  launcher.mgr.m_mode = ModeZipInstall;

  ASSERT_TRUE(launcher.mgr.CreateMainWindow());
  {
    CDlgInstaller screen;
    ASSERT_TRUE(screen.Create());
    WaitUntil(
        [&] {
          ui::PumpMessages();
          return PathExists(launcher.game / "Talvenor\\data\\f2000.txt");
        },
        kScreenMs);
    screens::ScreenSettle();
    EXPECT_TRUE(screens::WritePng(screen.Window(), screens::ScreenOutputPath("117_installer")));
    screen.RequestClose();
    WaitUntil(
        [&] {
          ui::PumpMessages();
          return !screen.IsThreadRunning();
        },
        kScreenMs);
  }
  launcher.mgr.DestroyMainWindow();
  ui::PumpMessages();
  launcher.mgr.m_mode = mode;
  DeleteFileA(data);
  launcher.mgr.m_installerDir[0] = '\0';
  launcher.mgr.m_patchDir[0] = '\0';
  places.Clean();
}

}  // namespace
