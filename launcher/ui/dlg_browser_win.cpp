#include "launcher/ui/dlg_browser.h"

#include <cstring>

#include "launcher/core/env_checks.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/limits.h"
#include "launcher/core/paths.h"
#include "launcher/core/windows_version.h"
#include "launcher/ui/folder_chooser.h"
#include "launcher/ui/folder_paths.h"

namespace {

constexpr int kPathEdit = 1005;

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
  SendDlgItemMessageA(Window(), kPathEdit, EM_LIMITTEXT, kMaxPath - 1, 0);
  SetDlgItemTextA(Window(), kPathEdit, folder);
}

void CDlgBrowser::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case 1004: Browse(); break;
    case 1009: Next(); break;
    case 1010:
    case 1032:
      if (g_launcher.ShowMessage(0, 3, kMessageQuestion) == IDYES) g_launcher.DestroyMainWindow();
      break;
    default: break;
  }
}

void CDlgBrowser::Browse() {
  char path[kMaxPath] = {};
  GetDlgItemTextA(Window(), kPathEdit, path, sizeof(path));
  if (!IsFolder(path)) {
    char systemDir[kMaxPath];
    SystemDirectory(systemDir);
    if (!SystemDriveRoot(systemDir, path, sizeof(path))) return;
    if (!IsFolder(path)) CopyString(path, "C:\\");
  }
  if (ShowFolderChooser(Window(), path, sizeof(path)) == 1) SetDlgItemTextA(Window(), kPathEdit, path);
}

void CDlgBrowser::Next() {
  char path[kMaxPath] = {};
  GetDlgItemTextA(Window(), kPathEdit, path, sizeof(path));
  RemoveTrailingSeparators(path);
  // A drive root or a relative name is no folder to install into.
  if (std::strlen(path) < 3 || !IsAbsoluteFolderPath(path)) {
    g_launcher.ShowMessage(0, 50, kMessageInfo);
    return;
  }
  if (!HasEnoughDiskSpace(path) && g_launcher.ShowMessage(0, 25, kMessageQuestion) != IDYES) return;
  // An existing file of that name counts as created for CreateDirectories, but is no folder;
  // and a path the launcher cannot take as its game directory must not be left behind.
  if (!CreateDirectories(path, false) || !IsFolder(path) || !g_launcher.SetGameDir(path)) {
    g_launcher.ShowMessage(0, 23, kMessageInfo);
    return;
  }
  Destroy();
  g_launcher.CreateDialog(3);
}
