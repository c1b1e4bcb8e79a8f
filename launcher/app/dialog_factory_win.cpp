// The screens by type number.
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

CDialog* NewDialog(int type) {
  switch (type) {
    case 0: return new (std::nothrow) CDlgLogo;
    case 1: return new (std::nothrow) CDlgNotice;
    case 2: return new (std::nothrow) CDlgBrowser;
    case 3: return new (std::nothrow) CDlgInstaller;
    case 4: return new (std::nothrow) CDlgComplete;
    case 5: return new (std::nothrow) CDlgFinish;
    case 7: return new (std::nothrow) CDlgLauncherNotice;
    case 8: return new (std::nothrow) CDlgUninstaller;
    default: return new (std::nothrow) CDlgLauncher;
  }
}

CDialog* CreateScreen(int type) {
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
