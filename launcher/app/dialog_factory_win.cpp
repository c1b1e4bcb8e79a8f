// The screens by type.
#include "launcher/core/windows_api.h"

#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/install/dlg_finish.h"
#include "launcher/install/dlg_installer.h"
#include "launcher/install/dlg_uninstaller.h"
#include "launcher/ui/dlg_browser.h"
#include "launcher/ui/dlg_complete.h"
#include "launcher/ui/dlg_launcher.h"
#include "launcher/ui/dlg_logo.h"
#include "launcher/ui/dlg_notice.h"

namespace {

CDialog* NewDialog(ScreenType type) {
  switch (type) {
    case ScreenLogo: return new (std::nothrow) CDlgLogo;
    case ScreenAgreement: return new (std::nothrow) CDlgNotice;
    case ScreenInstallFolder: return new (std::nothrow) CDlgBrowser;
    case ScreenInstaller: return new (std::nothrow) CDlgInstaller;
    case ScreenPrerequisites: return new (std::nothrow) CDlgComplete;
    case ScreenFinish: return new (std::nothrow) CDlgFinish;
    case ScreenPlayAgreement: return new (std::nothrow) CDlgLauncherNotice;
    case ScreenUninstaller: return new (std::nothrow) CDlgUninstaller;
    case ScreenLauncher:
    default: return new (std::nothrow) CDlgLauncher;
  }
}

}  // namespace

CDialog* CLauncherMgr::CreateDialog(ScreenType type) {
  if (!m_initialized) return nullptr;
  CDialog* dialog = NewDialog(type);
  if (dialog == nullptr) {
    Log("CLauncherMgr::CreateDialog(%d) failed.", static_cast<int>(type));
    return nullptr;
  }
  // A window that could not be created is logged by Create; the screen is listed anyway.
  dialog->Create();
  m_dialogs.push_back(dialog);
  return dialog;
}
