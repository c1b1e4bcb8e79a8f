#include "launcher/install/uninstall_ops.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/file_system.h"
#include "launcher/core/install_places.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/registry.h"
#include "launcher/resources/resource_ids.h"

namespace {

constexpr const char kWho[] = "RemoveShortcuts()";

void Remove(const InstallPlaces& places, const char* path, RemovalKind kind) {
  LogRefusedRemoval(kWho, path, RemoveInsidePlaces(places, path, kind));
}

}  // namespace

void RemoveShortcuts() {
  CLauncherMgr& mgr = g_launcher;
  InstallPlaces places;
  CollectInstallPlaces(mgr, &places);
  char folder[kMaxPath];
  char path[kMaxPath];

  if (GetSpecialFolder(CSIDL_PROGRAMS, folder) && JoinPath(mgr.m_title, path, folder)) {
    Remove(places, path, RemovalKind::Tree);
  }

  char gameDir[kMaxPath];
  CopyString(gameDir, mgr.m_gameDir);
  RemoveTrailingSeparators(gameDir);
  if (JoinPath("Uninstall.lnk", path, gameDir)) Remove(places, path, RemovalKind::File);

  if (GetSpecialFolder(CSIDL_DESKTOPDIRECTORY, folder)) {
    char name[kMaxPath];
    if (FormatString(name, sizeof(name), "%s.lnk", mgr.m_title) && JoinPath(name, path, folder)) {
      Remove(places, path, RemovalKind::File);
    }
    if (JoinPath(mgr.GetString(sizeof(name), name, IDS_PORTAL_LINK), path, folder)) {
      Remove(places, path, RemovalKind::File);
    }
  }
}

void RemoveUninstallEntry() {
  char key[kMaxShortCommandLine];
  if (!FormatString(key, sizeof(key), "%s%s", kUninstallKeyBase, g_launcher.m_title)) return;
  for (const char* value : {"DisplayName", "DisplayLocation", "UninstallString", "Publisher", "URLInfoAbout"}) {
    CRegistry::DeleteValue(key, HKEY_LOCAL_MACHINE, value);
  }
}

void RemoveInstallation() {
  CLauncherMgr& mgr = g_launcher;
  mgr.LoadInstalledFiles();
  mgr.DeleteInstalledFiles();
  RemoveShortcuts();
  RemoveUninstallEntry();
  mgr.RemoveDirectPlayRegistration();
  mgr.RemoveProductKey();
  mgr.RemoveBrowserEmulation();
  CRegistry::WriteString(kProductKey, "", HKEY_CURRENT_USER, "");
}
