// Pictures of the normal launch and its neighbours, drawn by the real screen classes in a
// sample state (see tests/support/screen_capture.h): the launcher mid-patch with its start
// button enabled, both agreement screens with the service agreement, the logo, the
// prerequisite download at 60 %, and the uninstall screen with its question open.
#include "launcher/core/windows_api.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "launcher/app/launcher_app.h"
#include "launcher/install/dlg_uninstaller.h"
#include "launcher/patch/dlg_launcher.h"
#include "launcher/ui/dlg_logo.h"
#include "launcher/ui/dlg_notice.h"
#include "launcher/ui/prerequisite_download_win.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/screen_capture.h"
#include "tests/support/ui_driver.h"

namespace {

using screens::ScreenOutputPath;
using screens::ScreenSettle;
using screens::WritePng;

// The launcher as a patch run leaves it on screen halfway through a file, with the start
// button enabled: the panel is set here, and neither the worker nor the notice page runs.
class LauncherMidPatch : public CDlgLauncher {
 public:
  void OnCreate() override {
    m_panel.Attach(GetDlgItem(Window(), 1035));
    m_panel.ShowVersions();
    m_panel.SetGameVersion(100);
    m_panel.SetPanelType(PanelDownload);
    m_panel.SetText("Patch data\\maps\\world.map");
    m_panel.SetProgress(42);
    EnableStart(true);
  }
};

// The uninstall screen of an installed game: the installation checks of its creation are
// left out, so its remove button is enabled with nothing laid out.
class UninstallerOfAnInstalledGame : public CDlgUninstaller {
 public:
  void OnCreate() override {}
};

// The download dialog's own class draws template 111; only the start of the transfer is
// left out, with the bar put at 60 % instead. The picture is taken inside its modal loop.
class DownloadAtSixty : public CPrerequisiteDownload {
 public:
  explicit DownloadAtSixty(const char* parameter) : CPrerequisiteDownload(parameter) {}
  bool written = false;

 protected:
  static constexpr UINT kShoot = WM_APP + 1;
  INT_PTR OnInitDialog() override {
    SendDlgItemMessageA(Window(), kDownloadProgressId, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageA(Window(), kDownloadProgressId, PBM_SETPOS, 60, 0);
    EnableWindow(GetDlgItem(Window(), kDownloadInstallId), FALSE);
    PostMessageA(Window(), kShoot, 0, 0);
    return TRUE;
  }
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != kShoot) return CPrerequisiteDownload::HandleMessage(message, wParam, lParam);
    // The modal loop has not drawn the box yet when this first message comes: draw it now.
    ShowWindow(Window(), SW_SHOW);
    UpdateWindow(Window());
    ScreenSettle();
    written = WritePng(Window(), ScreenOutputPath("111_download"));
    End(0);
    return TRUE;
  }
};

template <typename Screen>
void Shoot(ScopedLauncher& launcher, const char* name) {
  ASSERT_TRUE(launcher.mgr.CreateMainWindow()) << name;
  {
    Screen screen;
    ASSERT_TRUE(screen.Create()) << name;
    ScreenSettle();
    EXPECT_TRUE(WritePng(screen.Window(), ScreenOutputPath(name))) << name;
    screen.Destroy();
  }
  launcher.mgr.DestroyMainWindow();
  ui::PumpMessages();
}

}  // namespace

TEST(Screens, DISABLED_Launch) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  ScopedLauncher launcher;
  Shoot<LauncherMidPatch>(launcher, "112_launcher");
  Shoot<CDlgLauncherNotice>(launcher, "119_agreement");
  Shoot<CDlgNotice>(launcher, "104_notice");
  Shoot<CDlgLogo>(launcher, "101_logo");

  {
    char parameter[kDownloadParameter];
    ASSERT_TRUE(FormatDownloadParameter("http://download.example/dxwebsetup.exe", 299624, kDownloadFolderWord,
                                        parameter, sizeof(parameter)));
    DownloadAtSixty dialog(parameter);
    dialog.Run(nullptr);
    EXPECT_TRUE(dialog.written);
    ui::PumpMessages();
  }

  // The question is modal: the screen runs on a thread of its own while this one clicks.
  UseLauncherMessages();
  std::atomic<DWORD> screenThread{0};
  std::thread runner([&] {
    screenThread = GetCurrentThreadId();
    if (!launcher.mgr.CreateMainWindow()) return;
    UninstallerOfAnInstalledGame screen;
    if (screen.Create()) {
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(screen.Window(), &message)) {
          TranslateMessage(&message);
          DispatchMessageA(&message);
        }
      }
      screen.Destroy();
    }
    launcher.mgr.DestroyMainWindow();
  });
  UiWindow screen = ui::WaitForWindow(ui::ScreenOf(GetCurrentProcessId(), 1019));
  UiWindow box = nullptr;
  if (screen != nullptr) {
    PauseMs(300);  // the screen's first paint, on its own thread
    EXPECT_TRUE(WritePng(screen, ScreenOutputPath("109_uninstaller")));
    if (ui::Click(screen, 1019)) box = ui::WaitForMessageBox(GetCurrentProcessId());
  }
  EXPECT_NE(box, nullptr);
  if (box != nullptr) {
    char question[kMaxPath];
    EXPECT_EQ(ui::MessageBoxText(box), launcher.mgr.GetString(sizeof(question), question, 5));
    PauseMs(300);  // the box's first paint; it covers the whole screen
    EXPECT_TRUE(WritePng(box, ScreenOutputPath("109_uninstaller_question")));
    ui::AnswerMessageBox(box, 7);
    ui::WaitForWindowGone(box);
  }
  WaitUntil([&] { return screenThread != 0; }, 20000);
  PostThreadMessageA(screenThread, WM_QUIT, 0, 0);
  runner.join();
  launcher.mgr.SetMessageHook(nullptr, nullptr);
}
