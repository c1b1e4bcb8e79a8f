// The launcher's run after start-up: the first screen by mode, the message loop, and the
// clean-up of every screen.
#include "launcher/app/launcher_app.h"

#include "launcher/core/windows_api.h"

#include <commctrl.h>

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"
#include "launcher/ui/message_box.h"

namespace {

int LauncherMessage(int stringId, const char* text, int type, void*) {
  if (g_launcher.m_pipeMode) return ShowHostMessage(stringId, text, type);
  return ShowMessageDialog(text, type);
}

}  // namespace

void UseLauncherMessages() { g_launcher.SetMessageHook(&LauncherMessage, nullptr); }

void RunLauncher(CLauncherMgr& mgr) {
  if (mgr.m_pipeMode) return RunHostMode(mgr);
  if (IsOtherLauncherRunning()) {
    mgr.MinimizeMainWindow();
    mgr.ShowMessage(0, IDS_LAUNCHER_RUNNING, kMessageInfo);
    return;
  }
  if (!mgr.CreateMainWindow()) return;
  // The folder chooser's tree and the download dialog's progress bar are common controls;
  // their templates cannot be created before the classes are registered.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  ScreenType type = ScreenLauncher;
  if (mgr.m_mode >= ModeInstall && mgr.m_mode <= ModeSplitInstall) type = ScreenLogo;
  if (mgr.m_mode == ModeUninstall) type = ScreenUninstaller;
  CDialog* first = mgr.CreateDialog(type);
  if (first == nullptr) return;
  if (mgr.m_mainWnd != nullptr) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  first->Destroy();
}
