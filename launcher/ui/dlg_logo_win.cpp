#include "launcher/ui/dlg_logo.h"

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/limits.h"
#include "launcher/resources/resource_ids.h"

namespace {

constexpr UINT kLogoMs = 2000;

}  // namespace

void CDlgLogo::OnCreate() {
  char registered[kMaxPath] = {};
  if (g_launcher.ReadGameDirFromRegistry(registered)) g_launcher.SetGameDir(registered);
  SetTimer(Window(), LogoTimer, kLogoMs, nullptr);
}

void CDlgLogo::OnTimer(UINT_PTR id) {
  if (id != LogoTimer) return;
  KillTimer(Window(), LogoTimer);
  if (IsClientInstalled() && g_launcher.ShowMessage(0, IDS_REINSTALL_QUESTION, kMessageQuestion) == IDNO) {
    g_launcher.DestroyMainWindow();
    return;
  }
  // A reinstallation starts from nothing: whatever the previous one recorded goes first.
  g_launcher.LoadInstalledFiles();
  g_launcher.DeleteInstalledFiles();
  Destroy();
  g_launcher.CreateDialog(ScreenAgreement);
}

HBRUSH CDlgLogo::OnCtlColorDlg() { return static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH)); }
