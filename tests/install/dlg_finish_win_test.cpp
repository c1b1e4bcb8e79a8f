// The finish screen against a test installation in a scratch game folder: what it
// registers and links, read back from the registry and through the shell, and that the
// uninstaller takes exactly that away again. Also the prerequisite page that leads to it.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "launcher/core/env_checks.h"
#include "launcher/core/file_system.h"
#include "launcher/core/installed_file_tree.h"
#include "launcher/core/registry.h"
#include "launcher/core/win_handle.h"
#include "launcher/install/dlg_finish.h"
#include "launcher/install/uninstall_ops.h"
#include "launcher/ui/dialog.h"
#include "tests/install/shell_checks.h"
#include "tests/install/uninstall_test_util.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/screen_capture.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace {

using shell_checks::ReadShellLink;
using shell_checks::RemoverFiles;
using shell_checks::ShellLinkInfo;

std::string String(int id) {
  char text[kMaxPath];
  return g_launcher.GetString(sizeof(text), text, id);
}

std::string DesktopIni(const std::string& iconFile) {
  return "[.ShellClassInfo]\r\nConfirmFileOp=0\r\nNoSharing=1\r\nIconFile=" + iconFile + "\r\nIconIndex=0\r\nInfoTip=" +
         String(34) + "\n";
}

bool HasAttributes(const std::string& path, DWORD wanted) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & wanted) == wanted;
}

std::string ReadValue(HKEY root, const std::string& key, const char* name) {
  char text[kMaxShortCommandLine];
  return CRegistry::ReadString(root, key.c_str(), text, name, sizeof(text)) ? text : "<missing>";
}

// The recorded files in the registry's "Files" value.
std::set<std::string> RecordedFiles() {
  std::set<std::string> files;
  std::uint32_t length = 0;
  if (!CRegistry::GetStringLength(kProductKey, &length)) return files;
  std::vector<char> text(length + 1, '\0');
  if (!CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, text.data(), kInstalledFilesValue, text.size())) {
    return files;
  }
  InstalledFileTree tree;
  tree.Parse(text.data(), length);
  tree.Walk(
      [](const char* path, bool folder, void* context) {
        if (!folder) static_cast<std::set<std::string>*>(context)->insert(path);
      },
      &files);
  return files;
}

void DoNothing() {}

// The finish work replaced for the test's lifetime: the screen without its effects.
struct QuietFinish {
  QuietFinish() { SetFinishWork(&DoNothing); }
  ~QuietFinish() { SetFinishWork(nullptr); }
};

// The fields a finish test sets that ScopedLauncher leaves alone, and the screens it made.
struct FinishFields {
  explicit FinishFields(ScopedLauncher& l) : launcher(l) {}
  ~FinishFields() {
    for (CDialog* dialog : launcher.mgr.m_dialogs) delete dialog;
    launcher.mgr.m_dialogs.clear();
    launcher.mgr.DestroyMainWindow();
    launcher.mgr.m_userFolderName[0] = '\0';
    launcher.mgr.m_installerDir[0] = '\0';
    launcher.mgr.m_ogmInstall = false;
    ui::PumpMessages();
  }
  ScopedLauncher& launcher;
};

// The registrations are shared by the whole test program, and so are the user's folders.
struct CleanInstallation {
  CleanInstallation(std::string startMenu, std::string user, std::vector<std::string> desktopLinks)
      : startMenu(std::move(startMenu)), user(std::move(user)), desktopLinks(std::move(desktopLinks)) {
    Remove();
  }
  ~CleanInstallation() { Remove(); }
  void Remove() const {
    RemoveRegistrations();
    for (const std::string& folder : {startMenu, user}) {
      SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
      RemoveTree(folder);
    }
    for (const std::string& link : desktopLinks) DeleteFileA(link.c_str());
  }
  std::string startMenu, user;
  std::vector<std::string> desktopLinks;
};

CDialog* FinishScreenIn(const CLauncherMgr& mgr) {
  for (CDialog* dialog : mgr.m_dialogs) {
    if (dialog->TemplateId() == 113 && dialog->Window() != nullptr) return dialog;
  }
  return nullptr;
}

}  // namespace

TEST(FinishScreen, RegistersLinksAndRecordsTheInstallationThatTheUninstallerRemoves) {
  ScopedLauncher launcher;
  FinishFields fields(launcher);
  CComScope com;
  CLauncherMgr& mgr = launcher.mgr;
  CopyString(mgr.m_userFolderName, "talvtest_finish");
  const std::string game = launcher.game.path();
  const std::string exe = game + "\\Talvenor.exe";
  const std::string startMenu = SpecialFolder(CSIDL_PROGRAMS) + "\\talvenor";
  const std::string user = SpecialFolder(CSIDL_PERSONAL) + "\\talvtest_finish";
  const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  CleanInstallation clean(startMenu, user, {desktop + "\\talvenor.lnk"});
  const std::string screenshots = user + "\\" + String(36);
  const std::string myFiles = user + "\\" + String(39);

  // What the installer leaves: the launcher recorded, the installer folder not yet removed.
  ASSERT_TRUE(WriteFileBytes(exe, "MZ"));
  mgr.AddInstalledFile(exe.c_str());
  const std::string installer = game + "\\Talvenor Installer";
  ASSERT_TRUE(CreateDirectories((installer + "\\part").c_str(), false));
  ASSERT_TRUE(WriteFileBytes(installer + "\\part\\data.zip", "zip"));
  CopyString(mgr.m_installerDir, installer.c_str());
  ASSERT_TRUE(mgr.CreateMainWindow());

  CDialog* finish = mgr.CreateDialog(ScreenFinish);
  ASSERT_NE(finish, nullptr);
  ASSERT_NE(finish->Window(), nullptr);

  EXPECT_FALSE(PathExists(installer));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProductKey, ""), mgr.m_gameDir);
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "talvenor");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayLocation"), game);
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), exe + " /uninstall");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"), "pinFOX");
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, "URLInfoAbout"), String(62));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProductKey, "ApplicationName"), String(33));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kProductKey, "LauncherPath"), game);
  std::uint32_t level = 0;
  EXPECT_TRUE(CRegistry::ReadDWORD(kBrowserEmulationKey, &level));
  EXPECT_GE(level, 7000u);

  struct Link {
    std::string path, target, arguments;
    int iconIndex;
    std::string iconPath;
    int description;
  } links[] = {
      {game + "\\Uninstall.lnk", exe, "/uninstall", 1, exe, 43},
      {desktop + "\\talvenor.lnk", exe, "", 0, "", 44},
      {startMenu + "\\" + String(51), screenshots, "", 0, "", 54},
      {startMenu + "\\" + String(52), myFiles, "", 0, "", 55},
      {startMenu + "\\" + String(56), game + "\\default.reg", "", 0, "", 57},
      {startMenu + "\\" + String(58), String(62), "", 2, exe, 53},
      {startMenu + "\\talvenor.lnk", exe, "", 0, "", 44},
      {startMenu + "\\" + String(76), exe, "repair", 0, "", 77},
      {startMenu + "\\" + String(59), exe, "/uninstall", 1, exe, 43},
  };
  std::set<std::string> expectedFiles = {exe, startMenu + "\\desktop.ini", user + "\\desktop.ini",
                                         game + "\\desktop.ini"};
  for (const Link& link : links) {
    const ShellLinkInfo info = ReadShellLink(link.path);
    ASSERT_TRUE(info.read) << link.path;
    if (link.target == String(62)) {
      // Wine's shell link takes a web address for a relative file name and saves it resolved
      // against the current folder (a folder "http:" below it); the host is in it all the same.
      const std::string host = link.target.substr(link.target.find("://") + 3);
      EXPECT_NE(info.target.find(host.substr(0, host.find('/'))), std::string::npos) << info.target;
    } else {
      EXPECT_EQ(info.target, link.target) << link.path;
    }
    EXPECT_EQ(info.arguments, link.arguments) << link.path;
    EXPECT_EQ(info.workingDir, game) << link.path;
    EXPECT_EQ(info.iconIndex, link.iconIndex) << link.path;
    EXPECT_EQ(info.iconPath, link.iconPath) << link.path;
    EXPECT_EQ(info.description, String(link.description)) << link.path;
    expectedFiles.insert(link.path);
  }

  for (const std::string& folder : {startMenu, user, screenshots, myFiles}) {
    EXPECT_TRUE(PathExists(folder)) << folder;
  }
  struct Ini {
    std::string folder, iconFile;
  } inis[] = {{startMenu, exe}, {user, exe}, {game, "Talvenor.exe"}};
  for (const Ini& ini : inis) {
    const std::string path = ini.folder + "\\desktop.ini";
    EXPECT_EQ(ReadFileOr(path), DesktopIni(ini.iconFile)) << path;
    EXPECT_TRUE(HasAttributes(path, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) << path;
    EXPECT_TRUE(HasAttributes(ini.folder, FILE_ATTRIBUTE_SYSTEM)) << ini.folder;
  }
  EXPECT_EQ(RecordedFiles(), expectedFiles);

  // The uninstaller knows only what the registry holds.
  finish->Destroy();
  mgr.m_installedFiles.Clear();
  RemoveInstallation();
  for (const std::string& file : expectedFiles) EXPECT_FALSE(PathExists(file)) << file;
  EXPECT_FALSE(PathExists(startMenu));
  EXPECT_FALSE(PathExists(game));
  // Never recorded: the user folder stays with its two folders.
  EXPECT_TRUE(PathExists(screenshots));
  EXPECT_TRUE(PathExists(myFiles));
  ExpectRegistrationsRemoved(mgr);
}

TEST(FinishScreen, DoneCloseAndTheManagerInstallsStartCommandEndTheLauncher) {
  ScopedLauncher launcher;
  FinishFields fields(launcher);
  QuietFinish quiet;
  CLauncherMgr& mgr = launcher.mgr;
  struct Case {
    int command;
    bool ogm;
  } cases[] = {{1010, false}, {1032, false}, {1010, true}, {1023, true}};
  for (const Case& c : cases) {
    mgr.m_ogmInstall = c.ogm;
    ASSERT_TRUE(mgr.CreateMainWindow());
    HWND main = mgr.m_mainWnd;
    CDialog* finish = mgr.CreateDialog(ScreenFinish);
    ASSERT_NE(finish, nullptr);
    ASSERT_NE(finish->Window(), nullptr) << c.command << " " << c.ogm;
    EXPECT_EQ(finish->TemplateId(), 113);
    SendMessageA(finish->Window(), WM_COMMAND, MAKEWPARAM(c.command, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(main)) << c.command << " " << c.ogm;
    EXPECT_EQ(mgr.m_mainWnd, nullptr);
    finish->Destroy();
  }
}

TEST(FinishScreen, StartCommandWithoutAnInstalledLauncherKeepsTheInstallingCopy) {
  ScopedLauncher launcher;
  FinishFields fields(launcher);
  QuietFinish quiet;
  CLauncherMgr& mgr = launcher.mgr;
  std::vector<int> shown;
  mgr.SetMessageHook(
      [](int id, const char*, int, void* context) {
        static_cast<std::vector<int>*>(context)->push_back(id);
        return 1;
      },
      &shown);
  ASSERT_TRUE(mgr.CreateMainWindow());
  HWND main = mgr.m_mainWnd;
  CDialog* finish = mgr.CreateDialog(ScreenFinish);
  ASSERT_NE(finish, nullptr);
  ASSERT_NE(finish->Window(), nullptr);
  // The game folder holds no launcher: nothing can be started, so the running copy, here
  // the test program, must not be handed to the remover.
  const std::set<std::string> removersBefore = RemoverFiles();
  SendMessageA(finish->Window(), WM_COMMAND, MAKEWPARAM(1023, BN_CLICKED), 0);
  mgr.SetMessageHook(nullptr, nullptr);
  EXPECT_EQ(shown, std::vector<int>{35});
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(RemoverFiles(), removersBefore);
}

TEST(CompletePage, WithBothComponentsPresentTheFinishScreenFollows) {
  ScopedLauncher launcher;
  FinishFields fields(launcher);
  QuietFinish quiet;
  CLauncherMgr& mgr = launcher.mgr;
  ASSERT_TRUE(IsXmlLibraryInstalled() && IsDirectX9Installed());  // as Wine has them
  ASSERT_TRUE(mgr.CreateMainWindow());
  CDialog* complete = mgr.CreateDialog(ScreenPrerequisites);
  ASSERT_NE(complete, nullptr);
  ASSERT_NE(complete->Window(), nullptr);
  EXPECT_EQ(complete->TemplateId(), 110);
  EXPECT_FALSE(ui::IsEnabled(complete->Window(), 1036));
  EXPECT_FALSE(ui::IsEnabled(complete->Window(), 1037));
  EXPECT_TRUE(WaitUntil(
      [&] {
        ui::PumpMessages();
        return complete->Window() == nullptr && FinishScreenIn(mgr) != nullptr;
      },
      10000));
  EXPECT_NE(mgr.m_mainWnd, nullptr);
}

TEST(Screens, DISABLED_Finish) {
  ScopedLauncher launcher;
  FinishFields fields(launcher);
  QuietFinish quiet;  // the picture run leaves the profile alone
  ASSERT_TRUE(launcher.mgr.CreateMainWindow());
  CDialog* finish = launcher.mgr.CreateDialog(ScreenFinish);
  ASSERT_NE(finish, nullptr);
  ASSERT_NE(finish->Window(), nullptr);
  screens::ScreenSettle();
  EXPECT_TRUE(screens::WritePng(finish->Window(), screens::ScreenOutputPath("113_finish")));
}
