#include "launcher/install/dlg_finish.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/registry.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/text.h"
#include "launcher/install/shortcuts.h"
#include "launcher/resources/resource_ids.h"

namespace {

FinishWork g_finishWork = nullptr;

// True when the running program is the launcher in the game folder: handing it to the
// remover would delete the installation's own launcher.
bool RunningFromGameDir() {
  char module[kMaxPath];
  char installed[kMaxPath];
  return !GetModulePath(module) || !JoinPath("Talvenor.exe", installed, g_launcher.m_gameDir) ||
         EqualsNoCase(module, installed);
}

}  // namespace

void FinishInstallation() {
  CLauncherMgr& mgr = g_launcher;
  CFile::RemoveDirectory(mgr.m_installerDir, true);
  CRegistry::WriteString(kProductKey, mgr.m_gameDir, HKEY_CURRENT_USER, "");
  mgr.WriteUninstallEntry();
  mgr.RegisterLobbyApplication();
  CreateShortcuts();
  mgr.SetBrowserEmulation();
  WriteDesktopIni(mgr.m_gameDir, true);
  mgr.SaveInstalledFiles();
}

void SetFinishWork(FinishWork work) { g_finishWork = work; }

void CDlgFinish::OnCreate() { (g_finishWork != nullptr ? g_finishWork : &FinishInstallation)(); }

void CDlgFinish::OnCommand(WPARAM wParam, LPARAM) {
  CLauncherMgr& mgr = g_launcher;
  switch (LOWORD(wParam)) {
    case IDC_FINISH_DONE:
    case IDC_CLOSE_BOX:
      mgr.DestroyMainWindow();
      return;
    case IDC_FINISH_START:
      if (mgr.m_ogmInstall) {
        mgr.DestroyMainWindow();
        return;
      }
      // The installing copy removes itself only once the installed launcher runs: without
      // it the user would be left with nothing to start from.
      if (!mgr.StartLauncher()) {
        mgr.ShowMessage(0, IDS_RUN_FAILED, kMessageInfo);
        mgr.DestroyMainWindow();
        return;
      }
      if (RunningFromGameDir()) {
        mgr.DestroyMainWindow();
        return;
      }
      mgr.StartSelfRemover();
      return;
    default:
      return;
  }
}
