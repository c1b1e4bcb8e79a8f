// Pictures of the screens for people, not a test: scripts/screens runs this program with
// --gtest_also_run_disabled_tests --gtest_filter=Screens.* and TALV_SCREENS_DIR set, and it
// writes one PNG per screen, each in a sample state, captured from the window itself.
#include "launcher/core/windows_api.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "launcher/app/launcher_app.h"
#include "launcher/ui/dialog.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/screen_capture.h"
#include "tests/support/ui_driver.h"

namespace {

using screens::ScreenOutputPath;
using screens::ScreenSettle;
using screens::WritePng;

// A template as it is drawn, without a screen class behind it: the prerequisite page, which
// no screen of the installation leads to. The real screens draw themselves in the Screens
// tests beside them.
class Screen : public CDialog {
 public:
  Screen(int templateId, DialogPlacement placement) : CDialog(templateId, placement) {}
  ~Screen() override {}
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
      {"110_components", 110, PlacementCentreInOwner},
  };
  for (const Shot& shot : shots) {
    ASSERT_TRUE(launcher.mgr.CreateMainWindow());
    Screen screen(shot.templateId, shot.placement);
    ASSERT_TRUE(screen.Create()) << shot.name;
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
