// The uninstall screen of the real Talvenor.exe, started as the Add/Remove Programs entry
// starts it, on a fake installation laid out by the test and driven through its windows.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "launcher/core/file_system.h"
#include "launcher/core/install_places.h"
#include "launcher/core/registry.h"
#include "launcher/core/win_handle.h"
#include "tests/install/shell_checks.h"
#include "tests/install/uninstall_test_util.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace {

using shell_checks::RemoverFiles;

// talvremover retries once a second, ten times per loop; the interpreter then deletes it.
constexpr std::uint32_t kRemoverMs = 30000;

std::string String(int id) {
  char text[kMaxPath];
  return g_launcher.GetString(sizeof(text), text, id);
}

// An installation as the installer and the patch runs leave it: the launcher copied into
// the game folder, the client, recorded game files, links and desktop.ini files, the
// registrations; besides, a file of the user's in the start-menu folder, an unrecorded
// subfolder of the user folder, and a recorded file outside every place of the installation.
struct FakeInstallation {
  FakeInstallation() {
    RemoveRegistrations();
    const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    exe = game / "Talvenor.exe";
    startMenu = SpecialFolder(CSIDL_PROGRAMS) + "\\talvenor";
    user = SpecialFolder(CSIDL_PERSONAL) + "\\" + String(60);
    victim = outside / "victim.txt";
    links = {game / "Uninstall.lnk", desktop + "\\talvenor.lnk", startMenu + "\\talvenor.lnk",
             desktop + "\\" + String(58)};
    files = {game / "client.exe", game / "movie\\intro.avi", game / "mp3\\theme.mp3", game / "data\\deep\\c.pak",
             startMenu + "\\desktop.ini", user + "\\desktop.ini"};
  }
  ~FakeInstallation() {
    RemoveRegistrations();
    RemoveTree(startMenu);
    for (const std::string& link : links) DeleteFileA(link.c_str());
    DeleteFileA((user + "\\desktop.ini").c_str());
    RemoveTree(user + "\\screenshots");
  }

  void LayOut() {
    CComScope com;
    CLauncherMgr& mgr = launcher.mgr;
    ASSERT_TRUE(CopyFileA(BinPath("Talvenor.exe").c_str(), exe.c_str(), FALSE));
    for (const char* folder : {"movie", "mp3", "data\\deep"}) {
      ASSERT_TRUE(CreateDirectories((game / folder).c_str(), false));
    }
    ASSERT_TRUE(CreateDirectories(startMenu.c_str(), false));
    ASSERT_TRUE(CreateDirectories((user + "\\screenshots").c_str(), false));
    for (const std::string& file : files) {
      ASSERT_TRUE(WriteFileBytes(file, "x")) << file;
      mgr.AddInstalledFile(file.c_str());
    }
    for (const std::string& link : links) {
      CreateShellLink(exe.c_str(), link.c_str(), 1, nullptr, "d", "/uninstall", game.path().c_str());
      ASSERT_TRUE(PathExists(link)) << link;
      mgr.AddInstalledFile(link.c_str());
    }
    ASSERT_TRUE(WriteFileBytes(ownFile, "the user's"));
    ASSERT_TRUE(WriteFileBytes(victim, "keep"));
    mgr.AddInstalledFile(victim.c_str());
    ASSERT_TRUE(mgr.SaveInstalledFiles());

    ASSERT_NO_FATAL_FAILURE(WriteRegistrations(mgr, game.path()));
  }

  bool Start(ChildProcess& process) const { return process.Start("\"" + exe + "\" /uninstall", game.path()); }

  ScopedLauncher launcher;
  const ScopedTempDir& game = launcher.game;
  ScopedTempDir outside;
  std::string exe, startMenu, user, victim;
  std::string ownFile = SpecialFolder(CSIDL_PROGRAMS) + "\\talvenor\\own.txt";
  std::vector<std::string> links, files;
};

UiWindow Screen(const ChildProcess& process) {
  UiQuery query;
  query.className = "#32770";
  query.processId = process.Id();
  query.withControl = 1019;
  return ui::WaitForWindow(query);
}

// Waits for the launcher's next message box, checks its text and answers it; whileShown
// runs while the box is up.
void Answer(const ChildProcess& process, const wchar_t* text, int button,
            const std::function<void()>& whileShown = {}) {
  UiWindow box = ui::WaitForMessageBox(process.Id());
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_EQ(ui::MessageBoxText(box), Big5(text));
  if (whileShown) whileShown();
  ASSERT_TRUE(ui::AnswerMessageBox(box, button));
  ASSERT_TRUE(ui::WaitForWindowGone(box));
}

}  // namespace

TEST(UninstallScreen, RemovesTheInstallationAndHandsTheLauncherToTheRemover) {
  FakeInstallation install;
  ASSERT_NO_FATAL_FAILURE(install.LayOut());
  const std::set<std::string> removersBefore = RemoverFiles();

  ChildProcess launcher;
  ASSERT_TRUE(install.Start(launcher));
  UiWindow screen = Screen(launcher);
  ASSERT_NE(screen, nullptr);
  EXPECT_TRUE(ui::IsEnabled(screen, 1019));
  ASSERT_TRUE(ui::Click(screen, 1019));
  ASSERT_NO_FATAL_FAILURE(Answer(launcher, L"#要將talvenor從硬碟上\n#刪除嗎?", IDYES));
  ASSERT_NO_FATAL_FAILURE(Answer(launcher, L"#移除所有的talvenor.", IDOK));
  std::uint32_t code = 99;
  ASSERT_TRUE(launcher.Wait(20000, &code));
  EXPECT_EQ(code, 0u);

  for (const std::string& gone : install.files) EXPECT_FALSE(PathExists(gone)) << gone;
  for (const std::string& gone : install.links) EXPECT_FALSE(PathExists(gone)) << gone;
  EXPECT_FALSE(PathExists(install.startMenu));  // with the user's own file
  EXPECT_TRUE(PathExists(install.user + "\\screenshots"));
  EXPECT_EQ(ReadFileOr(install.victim), "keep");
  const std::string log = ReadFileOr(install.user + "\\" + String(61) + "\\launcher_log.txt");
  EXPECT_NE(log.find("CLauncherMgr::DeleteInstalledFiles() : \"" + install.victim +
                     "\" lies outside the installation, skipped."),
            std::string::npos)
      << log;

  ExpectRegistrationsRemoved(g_launcher);

  // talvremover: the launcher's executable once it has exited, then the emptied game
  // folder, then its own file.
  EXPECT_TRUE(WaitUntil([&] { return !PathExists(install.exe); }, kRemoverMs));
  EXPECT_TRUE(WaitUntil([&] { return !PathExists(install.game.path()); }, kRemoverMs));
  EXPECT_TRUE(WaitUntil([&] { return RemoverFiles() == removersBefore; }, kRemoverMs));
}

TEST(UninstallScreen, NoLeavesEverythingAndTheScreenOpen) {
  FakeInstallation install;
  ASSERT_NO_FATAL_FAILURE(install.LayOut());
  ChildProcess launcher;
  ASSERT_TRUE(install.Start(launcher));
  UiWindow screen = Screen(launcher);
  ASSERT_NE(screen, nullptr);
  ASSERT_TRUE(ui::Click(screen, 1019));
  // The screen stays clickable under the question, but not its uninstall button.
  ASSERT_NO_FATAL_FAILURE(Answer(launcher, L"#要將talvenor從硬碟上\n#刪除嗎?", IDNO, [&] {
    EXPECT_FALSE(ui::IsEnabled(screen, 1019));
  }));

  EXPECT_TRUE(IsWindow(screen));
  EXPECT_TRUE(ui::IsEnabled(screen, 1019));
  for (const std::string& kept : install.files) EXPECT_TRUE(PathExists(kept)) << kept;
  for (const std::string& kept : install.links) EXPECT_TRUE(PathExists(kept)) << kept;
  EXPECT_TRUE(PathExists(install.exe));
  EXPECT_TRUE(PathExists(install.ownFile));
  char dir[kMaxPath] = "";
  EXPECT_TRUE(g_launcher.ReadGameDirFromRegistry(dir));
  EXPECT_EQ(std::string(dir), install.game.path());
  std::uint32_t recorded = 0;
  EXPECT_TRUE(CRegistry::GetStringLength(kProductKey, &recorded));
  EXPECT_GT(recorded, 1u);
  DWORD values = 0, subkeys = 0;
  ASSERT_TRUE(KeyContent(HKEY_LOCAL_MACHINE, kUninstallKey, &values, &subkeys));
  EXPECT_EQ(values, 5u);
  EXPECT_TRUE(KeyContent(HKEY_LOCAL_MACHINE, kDirectPlayKey, &values, &subkeys));
  std::uint32_t level = 0;
  EXPECT_TRUE(CRegistry::ReadDWORD(kBrowserEmulationKey, &level));

  ASSERT_TRUE(ui::Click(screen, 2));
  std::uint32_t code = 99;
  ASSERT_TRUE(launcher.Wait(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(PathExists(install.exe));
}

// Without a registered game folder the screen only offers closing, even when the working
// directory holds a client.
TEST(UninstallScreen, NothingToRemoveOnlyCloses) {
  RemoveRegistrations();
  ScopedTempDir cwd;
  ASSERT_TRUE(WriteFileBytes(cwd / "client.exe", "x"));
  for (const char* folder : {"movie", "mp3"}) ASSERT_TRUE(CreateDirectoryA((cwd / folder).c_str(), nullptr));
  ChildProcess launcher;
  ASSERT_TRUE(launcher.Start("\"" + BinPath("Talvenor.exe") + "\" /uninstall", cwd.path()));
  UiWindow screen = Screen(launcher);
  ASSERT_NE(screen, nullptr);
  ASSERT_NO_FATAL_FAILURE(Answer(launcher, L"#請先安裝talvenor.", IDOK));
  EXPECT_TRUE(IsWindow(screen));
  EXPECT_FALSE(ui::IsEnabled(screen, 1019));
  EXPECT_FALSE(ui::Click(screen, 1019));

  EXPECT_TRUE(ui::Close(screen));
  std::uint32_t code = 99;
  ASSERT_TRUE(launcher.Wait(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(PathExists(cwd / "client.exe"));
}
