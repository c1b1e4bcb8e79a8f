#include "launcher/install/dlg_uninstaller.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/install/uninstall_ops.h"

namespace {

constexpr int kUninstallButton = 1019;
constexpr int kCancelButton = 2;
constexpr int kCloseButton = 1032;

}  // namespace

void CDlgUninstaller::OnCreate() {
  CLauncherMgr& mgr = g_launcher;
  char title[kMaxPath];
  SetWindowTextA(mgr.m_mainWnd, mgr.GetString(sizeof(title), title, 6));

  // Without a registered folder the game folder stays empty, and the client check would look
  // in the working directory: a client found there is no installation this could remove.
  char gameDir[kMaxPath];
  const bool registered = mgr.ReadGameDirFromRegistry(gameDir) && mgr.SetGameDir(gameDir);
  if (!registered || !IsClientInstalled()) {
    EnableWindow(GetDlgItem(Window(), kUninstallButton), FALSE);
    mgr.ShowMessage(0, 14, kMessageInfo);
  }
}

void CDlgUninstaller::OnCommand(WPARAM wParam, LPARAM) {
  CLauncherMgr& mgr = g_launcher;
  switch (LOWORD(wParam)) {
    case kUninstallButton: {
      // The boxes are modal to the main window only, so this screen stays clickable under
      // them: a second click would ask again, remove twice and start two removers.
      HWND button = GetDlgItem(Window(), kUninstallButton);
      EnableWindow(button, FALSE);
      if (mgr.ShowMessage(0, 5, kMessageQuestion) != IDYES) {
        EnableWindow(button, TRUE);
        return;
      }
      RemoveInstallation();
      mgr.ShowMessage(0, 27, kMessageInfo);
      // Ends the launcher. A remover that cannot be written is logged and the launcher stays,
      // with nothing left to uninstall: the button stays disabled.
      mgr.StartSelfRemover();
      return;
    }
    case kCancelButton:
    case kCloseButton:
      mgr.DestroyMainWindow();
      return;
    default:
      return;
  }
}
