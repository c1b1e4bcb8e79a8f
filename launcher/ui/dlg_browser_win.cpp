#include "launcher/ui/dlg_browser.h"

#include <cstring>

#include "launcher/core/env_checks.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/limits.h"
#include "launcher/core/paths.h"
#include "launcher/core/windows_version.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog_items.h"
#include "launcher/ui/folder_chooser.h"
#include "launcher/ui/folder_paths.h"

namespace {


// The system directory, or "" when the system does not tell it (or it does not fit).
void SystemDirectory(char (&out)[kMaxPath]) {
  const UINT n = GetSystemDirectoryA(out, sizeof(out));
  if (n == 0 || n >= sizeof(out)) out[0] = '\0';
}

}  // namespace

void CDlgBrowser::OnCreate() {
  char systemDir[kMaxPath];
  SystemDirectory(systemDir);
  char programFiles[MAX_PATH] = {};  // the shell's buffer size, whatever ours is
  const int versionClass = GetWindowsVersionClass();
  const bool haveProgramFiles =
      versionClass != 7 && SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles));
  char folder[kMaxPath] = {};
  DefaultInstallFolder(versionClass, systemDir, haveProgramFiles ? programFiles : nullptr, folder, sizeof(folder));
  // What is typed must fit the buffer the page reads it into, or another folder is meant.
  SendMessageA(FindItem(Window(), IDC_INSTALL_PATH), EM_LIMITTEXT, kMaxPath - 1, 0);
  SetItemText(Window(), IDC_INSTALL_PATH, folder);
}

void CDlgBrowser::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case IDC_BROWSE: Browse(); break;
    case IDC_NEXT: Next(); break;
    case IDC_CANCEL_PAGE:
    case IDC_CLOSE_BOX:
      if (g_launcher.ShowMessage(0, IDS_CANCEL_INSTALL, kMessageQuestion) == IDYES) g_launcher.DestroyMainWindow();
      break;
    default: break;
  }
}

void CDlgBrowser::Browse() {
  char path[kMaxPath] = {};
  GetItemText(Window(), IDC_INSTALL_PATH, path, sizeof(path));
  if (!IsFolder(path)) {
    char systemDir[kMaxPath];
    SystemDirectory(systemDir);
    if (!SystemDriveRoot(systemDir, path, sizeof(path))) return;
    if (!IsFolder(path)) CopyString(path, "C:\\");
  }
  if (ShowFolderChooser(Window(), path, sizeof(path)) == 1) SetItemText(Window(), IDC_INSTALL_PATH, path);
}

void CDlgBrowser::Next() {
  char path[kMaxPath] = {};
  GetItemText(Window(), IDC_INSTALL_PATH, path, sizeof(path));
  RemoveTrailingSeparators(path);
  // A drive root or a relative name is no folder to install into.
  if (std::strlen(path) < 3 || !IsAbsoluteFolderPath(path)) {
    g_launcher.ShowMessage(0, IDS_BAD_FOLDER_NAME, kMessageInfo);
    return;
  }
  if (!HasEnoughDiskSpace(path) && g_launcher.ShowMessage(0, IDS_LOW_DISK_QUESTION, kMessageQuestion) != IDYES) return;
  // An existing file of that name counts as created for CreateDirectories, but is no folder;
  // and a path the launcher cannot take as its game directory must not be left behind.
  if (!CreateDirectories(path, false) || !IsFolder(path) || !g_launcher.SetGameDir(path)) {
    g_launcher.ShowMessage(0, IDS_CHOSEN_FOLDER_NOT_CREATED, kMessageInfo);
    return;
  }
  Destroy();
  g_launcher.CreateDialog(ScreenInstaller);
}
