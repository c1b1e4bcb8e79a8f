// The uninstaller's removals on a fake installation laid out by the test: what the
// installation wrote goes, what lies outside its places or behind a link stays.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/core/file_system.h"
#include "launcher/core/install_places.h"
#include "launcher/core/registry.h"
#include "launcher/core/win_handle.h"
#include "launcher/install/uninstall_ops.h"
#include "tests/install/uninstall_test_util.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"

namespace {


// The registrations are shared by the whole test program.
struct CleanRegistrations {
  CleanRegistrations() { Remove(); }
  ~CleanRegistrations() { Remove(); }
  static void Remove() { RemoveRegistrations(); }
};

bool IsReparsePoint(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Wine 8 makes neither junctions nor symbolic links through the Windows API
// (FSCTL_SET_REPARSE_POINT answers ERROR_NOT_SUPPORTED; CreateSymbolicLink reports success
// and makes nothing). It shows a host symbolic link to a folder as a folder reparse point,
// and it starts host programs like its own: the host's ln makes the link. Wine cannot
// remove such a link either, so rm takes it away again.
bool MakeHostLink(const std::string& folder, const std::string& name, const std::string& target) {
  // Wine hands out no waitable handle for a host process: the link itself is awaited.
  const std::string link = folder + "\\" + name;
  return RunProcess("Z:\\bin\\ln -s " + target + " " + name, folder, 10000, false).started &&
         WaitUntil([&] { return IsReparsePoint(link); }, 10000);
}
void RemoveHostLink(const std::string& folder, const std::string& name) {
  const std::string link = folder + "\\" + name;
  if (RunProcess("Z:\\bin\\rm -f " + name, folder, 10000, false).started) {
    WaitUntil([&] { return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000);
  }
}

std::string LastComponent(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

struct UserFolderName {
  explicit UserFolderName(const char* name) { CopyString(g_launcher.m_userFolderName, name); }
  ~UserFolderName() { g_launcher.m_userFolderName[0] = '\0'; }
};

}  // namespace

TEST(Uninstall, RemovesWhatTheInstallationWroteAndNothingElse) {
  CleanRegistrations clean;
  ScopedLauncher launcher;
  CComScope com;
  UserFolderName userName("talvtest_user");
  CLauncherMgr& mgr = launcher.mgr;
  const ScopedTempDir& game = launcher.game;
  const ScopedTempDir outside;
  const std::string startMenu = SpecialFolder(CSIDL_PROGRAMS) + "\\talvenor";
  const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  const std::string user = SpecialFolder(CSIDL_PERSONAL) + "\\talvtest_user";
  char portalName[kMaxPath];
  const std::string portalLink = desktop + "\\" + mgr.GetString(sizeof(portalName), portalName, 58);
  const std::string exe = game / "Talvenor.exe";

  // The installation: game files, its links and desktop.ini files, all recorded; a file of
  // the user's in the start-menu folder and the user folder's subfolder are not.
  ASSERT_TRUE(CreateDirectories((game / "data\\deep").c_str(), false));
  ASSERT_TRUE(CreateDirectories(startMenu.c_str(), false));
  ASSERT_TRUE(CreateDirectories((user + "\\screenshots").c_str(), false));
  for (const std::string& file : {exe, game / "a.pak", game / "data\\b.pak", game / "data\\deep\\c.pak",
                                  startMenu + "\\desktop.ini", user + "\\desktop.ini"}) {
    ASSERT_TRUE(WriteFileBytes(file, "x")) << file;
    mgr.AddInstalledFile(file.c_str());
  }
  ASSERT_TRUE(mgr.WriteClientVersion(300));
  for (const std::string& link : {game / "Uninstall.lnk", desktop + "\\talvenor.lnk", startMenu + "\\talvenor.lnk"}) {
    CreateShellLink(exe.c_str(), link.c_str(), 1, nullptr, "d", "/uninstall", game.path().c_str());
    ASSERT_TRUE(PathExists(link)) << link;
    mgr.AddInstalledFile(link.c_str());
  }
  CreateShellLink("https://talvenor.example/", portalLink.c_str(), -1, nullptr, "d", nullptr, game.path().c_str());
  ASSERT_TRUE(PathExists(portalLink));
  ASSERT_TRUE(WriteFileBytes(startMenu + "\\own.txt", "the user's"));
  // Planted by another program: a file outside every place.
  const std::string victim = outside / "victim.txt";
  ASSERT_TRUE(WriteFileBytes(victim, "keep"));
  mgr.AddInstalledFile(victim.c_str());
  ASSERT_TRUE(mgr.SaveInstalledFiles());

  ASSERT_NO_FATAL_FAILURE(WriteRegistrations(mgr, game.path()));
  mgr.m_installedFiles.Clear();  // the uninstaller knows only what the registry holds

  RemoveInstallation();

  EXPECT_FALSE(PathExists(game.path()));
  EXPECT_FALSE(PathExists(startMenu));
  for (const std::string& gone : {desktop + "\\talvenor.lnk", portalLink, user + "\\desktop.ini"}) {
    EXPECT_FALSE(PathExists(gone)) << gone;
  }
  EXPECT_TRUE(PathExists(user + "\\screenshots"));  // never recorded: the user folder stays
  EXPECT_EQ(ReadFileOr(victim), "keep");
  EXPECT_TRUE(launcher.log.Contains("CLauncherMgr::DeleteInstalledFiles() : \"" + victim +
                                    "\" lies outside the installation, skipped."))
      << launcher.log.Joined();

  ExpectRegistrationsRemoved(mgr);

  RemoveTree(user);
}

TEST(Uninstall, NothingIsRemovedThroughALink) {
  CleanRegistrations clean;
  ScopedLauncher launcher;
  CLauncherMgr& mgr = launcher.mgr;
  const ScopedTempDir& game = launcher.game;
  const ScopedTempDir outside;
  const std::string secret = outside / "secret.txt";
  ASSERT_TRUE(WriteFileBytes(secret, "keep"));
  ASSERT_TRUE(WriteFileBytes(game / "a.pak", "x"));
  ASSERT_TRUE(MakeHostLink(game.path(), "link", "../" + LastComponent(outside.path())));
  ASSERT_TRUE(PathExists(game / "link\\secret.txt"));

  // Recorded through the link, and the link recorded as a folder of the game's.
  for (const std::string& file : {game / "a.pak", game / "link\\secret.txt"}) mgr.AddInstalledFile(file.c_str());
  EXPECT_TRUE(mgr.DeleteInstalledFiles());
  EXPECT_EQ(ReadFileOr(secret), "keep");
  EXPECT_FALSE(PathExists(game / "a.pak"));
  EXPECT_TRUE(launcher.log.Contains("CLauncherMgr::DeleteInstalledFiles() : \"" + (game / "link\\secret.txt") +
                                    "\" lies behind a link, skipped."))
      << launcher.log.Joined();

  // A link where a folder is expected, the game folder's or the start-menu folder's
  // content, is taken as the link itself: never walked into.
  InstallPlaces places;
  CollectInstallPlaces(mgr, &places);
  const RemovalResult asFolder = RemoveInsidePlaces(places, (game / "link").c_str(), RemovalKind::Tree);
  EXPECT_TRUE(asFolder == RemovalResult::Removed || asFolder == RemovalResult::Failed);
  RemoveTreeWithoutLinks(game.path().c_str());
  EXPECT_EQ(ReadFileOr(secret), "keep");
  RemoveHostLink(game.path(), "link");
}
