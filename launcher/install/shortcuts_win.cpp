#include "launcher/install/shortcuts.h"

#include "launcher/core/windows_api.h"

#include <cstring>

#include "launcher/core/file_system.h"
#include "launcher/core/install_places.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

namespace {

constexpr char kLauncherName[] = "Talvenor.exe";
constexpr char kDesktopIniName[] = "desktop.ini";
constexpr std::size_t kDesktopIniText = 2 * kMaxPath + 128;  // two paths' worth of icon file and tip

struct Link {
  const char* folder;       // where the link goes; null: left out
  const char* name;
  const char* target;
  const char* arguments;    // null: none
  int iconIndex;            // -1: the default icon
  const char* iconPath;     // null: the target's
  int descriptionId;
};

}  // namespace

bool WriteDesktopIni(const char* folder, bool relativeIcon) {
  // An empty folder would put the file into the root of the current drive.
  if (folder == nullptr || folder[0] == '\0') return false;
  CLauncherMgr& mgr = g_launcher;
  const DWORD attributes = GetFileAttributesA(folder);
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(folder, attributes | FILE_ATTRIBUTE_SYSTEM);

  char iconFile[kMaxPath];
  char path[kMaxPath];
  char tip[kMaxPath];
  char text[kDesktopIniText];
  if (relativeIcon) {
    CopyString(iconFile, kLauncherName);
  } else if (!JoinPath(kLauncherName, iconFile, mgr.m_gameDir)) {
    mgr.Log("WriteDesktopIni() : game directory too long.");
    return false;
  }
  if (!JoinPath(kDesktopIniName, path, folder) ||
      !FormatDesktopIni(iconFile, mgr.GetString(sizeof(tip), tip, IDS_LOBBY_DESCRIPTION), text, sizeof(text))) {
    mgr.Log("WriteDesktopIni() : path too long : \"%s\".", folder);
    return false;
  }
  {
    CFileHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) {
      mgr.Log("WriteDesktopIni() : fail to create \"%s\".", path);
      return false;
    }
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    if (!WriteFile(file.get(), text, length, &written, nullptr) || written != length) {
      mgr.Log("WriteDesktopIni() : fail to write \"%s\".", path);
    }
  }
  // Recorded even when cut short: the file exists and is the installation's.
  mgr.AddInstalledFile(path);
  return true;
}

void CreateShortcuts() {
  CLauncherMgr& mgr = g_launcher;
  char game[kMaxPath];
  char launcher[kMaxPath];
  CopyString(game, mgr.m_gameDir);
  RemoveTrailingSeparators(game);
  if (game[0] == '\0' || !JoinPath(kLauncherName, launcher, game)) {
    mgr.Log("CreateShortcuts() : no game directory.");
    return;
  }

  char startMenu[kMaxPath] = {};
  if (GetFolderBelow(CSIDL_PROGRAMS, mgr.m_title, startMenu)) {
    CreateDirectories(startMenu, false);
    WriteDesktopIni(startMenu, false);
  } else {
    startMenu[0] = '\0';
    mgr.Log("CreateShortcuts() : no start-menu folder for \"%s\".", mgr.m_title);
  }

  char user[kMaxPath] = {};
  char screenshots[kMaxPath] = {};
  char myFiles[kMaxPath] = {};
  if (GetFolderBelow(CSIDL_PERSONAL, mgr.m_userFolderName, user)) {
    CreateDirectories(user, false);
    WriteDesktopIni(user, false);
    char name[kMaxPath];
    if (JoinPath(mgr.GetString(sizeof(name), name, IDS_SCREENSHOTS_FOLDER), screenshots, user)) {
      CreateDirectories(screenshots, false);
    }
    if (JoinPath(mgr.GetString(sizeof(name), name, IDS_MY_FILES_FOLDER), myFiles, user)) {
      CreateDirectories(myFiles, false);
    }
  } else {
    mgr.Log("CreateShortcuts() : no user folder for \"%s\".", mgr.m_userFolderName);
  }

  char desktop[kMaxPath] = {};
  if (!GetSpecialFolder(CSIDL_DESKTOPDIRECTORY, desktop)) desktop[0] = '\0';

  char titleLink[kMaxPath];
  if (!TitleLinkName(mgr.m_title, titleLink, sizeof(titleLink)) || !IsSoundName(titleLink)) titleLink[0] = '\0';
  char screenshotsLink[kMaxPath], myFilesLink[kMaxPath], resetLink[kMaxPath], portalLink[kMaxPath],
      removeLink[kMaxPath], repairLink[kMaxPath];
  mgr.GetString(sizeof(screenshotsLink), screenshotsLink, IDS_SCREENSHOTS_LINK);
  mgr.GetString(sizeof(myFilesLink), myFilesLink, IDS_MY_FILES_LINK);
  mgr.GetString(sizeof(resetLink), resetLink, IDS_RESET_LINK);
  mgr.GetString(sizeof(portalLink), portalLink, IDS_PORTAL_LINK);
  mgr.GetString(sizeof(removeLink), removeLink, IDS_UNINSTALL_LINK);
  mgr.GetString(sizeof(repairLink), repairLink, IDS_REPAIR_LINK);
  char resetFile[kMaxPath];
  JoinPath("default.reg", resetFile, game);
  char portal[kMaxPath];
  mgr.GetString(sizeof(portal), portal, IDS_PORTAL_PAGE);

  auto in = [](const char* folder) { return folder[0] != '\0' ? folder : nullptr; };
  const char* menu = in(startMenu);
  const Link links[] = {
      {game, "Uninstall.lnk", launcher, "/uninstall", 1, nullptr, IDS_UNINSTALL_SHORTCUT_TEXT},
      {in(desktop), titleLink, launcher, nullptr, -1, nullptr, IDS_RUN_SHORTCUT_TEXT},
      {menu, screenshotsLink, in(screenshots), nullptr, -1, nullptr, IDS_SCREENSHOTS_SHORTCUT_TEXT},
      {menu, myFilesLink, in(myFiles), nullptr, -1, nullptr, IDS_MY_FILES_SHORTCUT_TEXT},
      {menu, resetLink, resetFile, nullptr, -1, nullptr, IDS_RESET_SHORTCUT_TEXT},
      {menu, portalLink, portal, nullptr, 2, launcher, IDS_PORTAL_SHORTCUT_TEXT},
      {menu, titleLink, launcher, nullptr, -1, nullptr, IDS_RUN_SHORTCUT_TEXT},
      {menu, repairLink, launcher, "repair", -1, nullptr, IDS_REPAIR_SHORTCUT_TEXT},
      {menu, removeLink, launcher, "/uninstall", 1, nullptr, IDS_UNINSTALL_SHORTCUT_TEXT},
  };
  for (const Link& link : links) {
    char path[kMaxPath];
    if (link.folder == nullptr || link.target == nullptr || link.name[0] == '\0' ||
        !JoinPath(link.name, path, link.folder)) {
      continue;
    }
    char description[kMaxPath];
    CreateShellLink(link.target, path, link.iconIndex, link.iconPath,
                    mgr.GetString(sizeof(description), description, link.descriptionId), link.arguments, game);
    mgr.AddInstalledFile(path);
  }
}
