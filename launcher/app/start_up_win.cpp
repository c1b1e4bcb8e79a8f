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

void CLauncherMgr::Run() {
  if (!m_initialized) return;
  if (m_pipeMode) return RunHostMode();
  if (IsOtherLauncherRunning()) {
    MinimizeMainWindow();
    ShowMessage(0, IDS_LAUNCHER_RUNNING, kMessageInfo);
    return;
  }
  if (!CreateMainWindow()) return;
  // The folder chooser's tree and the download dialog's progress bar are common controls;
  // their templates cannot be created before the classes are registered.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  ScreenType type = ScreenLauncher;
  if (m_mode >= ModeInstall && m_mode <= ModeSplitInstall) type = ScreenLogo;
  if (m_mode == ModeUninstall) type = ScreenUninstaller;
  CDialog* first = CreateDialog(type);
  if (first == nullptr) return;
  if (m_mainWnd != nullptr) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  first->Destroy();
}

bool CLauncherMgr::Shutdown() {
  if (!m_initialized) return false;
  // Every worker stops while its whole dialog still exists; a destructor that ran first
  // would free what the worker still uses.
  for (CDialog* dialog : m_dialogs) dialog->Destroy();
  for (CDialog* dialog : m_dialogs) delete dialog;
  m_dialogs.clear();
  m_mainWnd = nullptr;
  Log("Cleanup.");
  if (m_comInitialized) CoUninitialize();
  m_comInitialized = false;
  m_initialized = false;
  return true;
}
