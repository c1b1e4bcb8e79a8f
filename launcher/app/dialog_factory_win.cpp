// The screens by type.
#include "launcher/app/launcher_app.h"

#include "launcher/core/windows_api.h"

#include <list>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/install/dlg_finish.h"
#include "launcher/install/dlg_installer.h"
#include "launcher/install/dlg_uninstaller.h"
#include "launcher/ui/dlg_browser.h"
#include "launcher/ui/dlg_complete.h"
#include "launcher/patch/dlg_launcher.h"
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

CDialog* CreateScreen(ScreenType type) {
  CDialog* dialog = NewDialog(type);
  // A window that could not be created is logged by Create; the screen is listed anyway.
  if (dialog != nullptr) dialog->Create();
  return dialog;
}

void DestroyScreens(std::list<CDialog*>& dialogs) {
  for (CDialog* dialog : dialogs) dialog->Destroy();
  for (CDialog* dialog : dialogs) delete dialog;
}

}  // namespace

void UseLauncherScreens() {
  static const ScreenHooks screens = {&CreateScreen, &DestroyScreens, &RunLauncher};
  g_launcher.SetScreenHooks(&screens);
}
