// Pictures of the screens for people, not a test: scripts/screens runs this program with
// --gtest_also_run_disabled_tests --gtest_filter=Screens.* and TALV_SCREENS_DIR set, and it
// writes one PNG per screen, each in a sample state, captured from the window itself.
#include "launcher/core/windows_api.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "launcher/app/launcher_app.h"
#include "launcher/ui/dialog.h"
#include "launcher/ui/dialog_panel.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/screen_capture.h"
#include "tests/support/ui_driver.h"

namespace {

using screens::Big5;
using screens::ScreenOutputPath;
using screens::ScreenSettle;
using screens::WritePng;

class Screen : public CDialog {
 public:
  Screen(int templateId, DialogPlacement placement) : CDialog(templateId, placement) {}
  ~Screen() override {}

  // Sample states: the progress screens' panel mid-run (42 % with a status text), the
  // launcher's start button enabled, the prerequisite download at 60 %.
  void OnCreate() override {
    if (TemplateId() == 112) EnableWindow(GetDlgItem(Window(), kStartButton), TRUE);
    if (TemplateId() == 111) SendDlgItemMessageA(Window(), kDownloadBar, PBM_SETPOS, 60, 0);
    if (TemplateId() != 112 && TemplateId() != 117) return;  // elsewhere 1035 is a label
    HWND control = GetDlgItem(Window(), kPanelControl);
    if (control == nullptr) return;
    m_hasPanel = true;
    m_panel.Attach(control);
    if (TemplateId() == 112) m_panel.ShowVersions();
    m_panel.SetGameVersion(100);
    m_panel.SetPanelType(TemplateId() == 117 ? PanelExtract : PanelDownload);
    m_panel.SetText("Patch data\\maps\\world.map");
    m_panel.SetProgress(42);
  }
  void OnDrawItem(DRAWITEMSTRUCT* item) override {
    if (m_hasPanel && item != nullptr && item->CtlID == kPanelControl) {
      const bool launcher = TemplateId() == 112;
      m_panel.Clear(launcher ? 255 : 0);
      m_panel.Draw(item, false, launcher);
      return;
    }
    CDialog::OnDrawItem(item);
  }

 private:
  static constexpr int kPanelControl = 1035;
  static constexpr int kStartButton = 1026;
  static constexpr int kDownloadBar = 1021;
  CPanel m_panel;
  bool m_hasPanel = false;
};

TEST(Screens, DISABLED_Render) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  ScopedLauncher launcher;
  struct Shot {
    const char* name;
    int templateId;
    DialogPlacement placement;
  } shots[] = {
      {"105_folder", 105, PlacementCentreInOwner}, {"107_folder_chooser", 107, PlacementNone},
      {"108_new_folder", 108, PlacementNone},    {"110_components", 110, PlacementCentreInOwner},
      {"113_finish", 113, PlacementCentreInOwner}, {"117_installer", 117, PlacementCentreInOwner},
  };
  for (const Shot& shot : shots) {
    ASSERT_TRUE(launcher.mgr.CreateMainWindow());
    Screen screen(shot.templateId, shot.placement);
    ASSERT_TRUE(screen.Create()) << shot.name;
    if (HWND path = GetDlgItem(screen.Window(), 1005)) SetWindowTextA(path, "C:\\Program Files\\Talvenor");
    if (HWND path = GetDlgItem(screen.Window(), 1015)) SetWindowTextA(path, "C:\\Program Files\\Talvenor");
    if (HWND text = GetDlgItem(screen.Window(), 1001)) {
      SetWindowTextA(text, Big5(L"talvenor 使用者條約\r\n\r\n第一條 本條約適用於talvenor的所有服務.").c_str());
    }
    ScreenSettle();
    EXPECT_TRUE(WritePng(screen.Window(), ScreenOutputPath(shot.name))) << shot.name;
    screen.Destroy();
    launcher.mgr.DestroyMainWindow();
    ui::PumpMessages();
  }

  UseLauncherMessages();
  struct Box {
    const char* name;
    int type;
    std::string text;
  } boxes[] = {
      {"114_question", kMessageQuestion, Big5(L"#要將talvenor從硬碟上\n#刪除嗎?")},
      {"115_information", kMessageInfo, Big5(L"#更新完成.\n\n左對齊的一行, 後面是置中的一行.\n#無法複製檔案。若一直發生此問題，請重新啟動電腦後,再次執行安裝程式。")},
  };
  for (const Box& b : boxes) {
    std::thread shower([&] { launcher.mgr.MessageBox(b.text.c_str(), b.type); });
    UiWindow box = ui::WaitForMessageBox(GetCurrentProcessId());
    ASSERT_NE(box, nullptr);
    PauseMs(300);
    EXPECT_TRUE(WritePng(box, ScreenOutputPath(b.name)));
    ui::AnswerMessageBox(box, b.type == kMessageQuestion ? 7 : 1);
    shower.join();
  }
  launcher.mgr.SetMessageHook(nullptr, nullptr);
}

}  // namespace
