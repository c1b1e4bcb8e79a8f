#include "launcher/install/dlg_uninstaller.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/install/uninstall_ops.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog_items.h"

void CDlgUninstaller::OnCreate() {
  CLauncherMgr& mgr = g_launcher;
  char title[kMaxPath];
  SetWindowTextA(mgr.m_mainWnd, mgr.GetString(sizeof(title), title, IDS_UNINSTALL_TITLE));

  // Without a registered folder the game folder stays empty, and the client check would look
  // in the working directory: a client found there is no installation this could remove.
  char gameDir[kMaxPath];
  const bool registered = mgr.ReadGameDirFromRegistry(gameDir) && mgr.SetGameDir(gameDir);
  if (!registered || !IsClientInstalled()) {
    EnableItem(Window(), IDC_UNINSTALL, false);
    mgr.ShowMessage(0, IDS_INSTALL_FIRST, kMessageInfo);
  }
}

void CDlgUninstaller::OnCommand(WPARAM wParam, LPARAM) {
  CLauncherMgr& mgr = g_launcher;
  switch (LOWORD(wParam)) {
    case IDC_UNINSTALL: {
      // The boxes are modal to the main window only, so this screen stays clickable under
      // them: a second click would ask again, remove twice and start two removers.
      EnableItem(Window(), IDC_UNINSTALL, false);
      if (mgr.ShowMessage(0, IDS_UNINSTALL_QUESTION, kMessageQuestion) != IDYES) {
        EnableItem(Window(), IDC_UNINSTALL, true);
        return;
      }
      RemoveInstallation();
      mgr.ShowMessage(0, IDS_UNINSTALLED, kMessageInfo);
      // Ends the launcher. A remover that cannot be written is logged and the launcher stays,
      // with nothing left to uninstall: the button stays disabled.
      mgr.StartSelfRemover();
      return;
    }
    case IDCANCEL:
    case IDC_CLOSE_BOX:
      mgr.DestroyMainWindow();
      return;
    default:
      return;
  }
}
