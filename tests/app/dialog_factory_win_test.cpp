// CLauncherMgr::CreateDialog: the screen class and template for every type number.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <iterator>

#include "launcher/install/dlg_finish.h"
#include "launcher/ui/dialog.h"
#include "launcher/patch/dlg_launcher.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/ui_driver.h"

namespace {

void NoFinishWork() {}

class DialogFactory : public ::testing::Test {
 protected:
  // The finish screen registers the game when it opens; here only the screen is wanted.
  DialogFactory() { SetFinishWork(&NoFinishWork); }
  ~DialogFactory() override {
    SetFinishWork(nullptr);
    for (CDialog* dialog : launcher_.mgr.m_dialogs) delete dialog;
    launcher_.mgr.m_dialogs.clear();
    launcher_.mgr.DestroyMainWindow();
    launcher_.mgr.m_ogmInstall = false;
    ui::PumpMessages();
  }
  ScopedLauncher launcher_;
};

TEST_F(DialogFactory, EveryTypeGetsItsScreenAndUnknownTypesTheLauncher) {
  struct Case {
    int type;
    int templateId;
  } cases[] = {{0, 101}, {1, 104}, {2, 105}, {3, 117}, {4, 110}, {5, 113},
               {6, 112}, {7, 119}, {8, 109}, {9, 112}, {-1, 112}};
  for (const Case& c : cases) {
    CDialog* dialog = launcher_.mgr.CreateDialog(static_cast<ScreenType>(c.type));
    ASSERT_NE(dialog, nullptr) << c.type;
    EXPECT_EQ(dialog->TemplateId(), c.templateId) << c.type;
    EXPECT_NE(dialog->Window(), nullptr) << c.type;
    EXPECT_EQ(launcher_.mgr.m_dialogs.back(), dialog);
    if (c.type >= 9 || c.type < 0) {
      EXPECT_NE(dynamic_cast<CDlgLauncher*>(dialog), nullptr) << c.type;
    }
    dialog->Destroy();
  }
  EXPECT_EQ(launcher_.mgr.m_dialogs.size(), std::size(cases));
}

TEST_F(DialogFactory, AScreenWhoseWindowFailsIsListedAnyway) {
  launcher_.mgr.m_hInstance = GetModuleHandleA(nullptr);  // the test program holds no templates
  CDialog* dialog = launcher_.mgr.CreateDialog(ScreenUninstaller);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->Window(), nullptr);
  EXPECT_EQ(launcher_.mgr.m_dialogs.size(), 1u);
  EXPECT_TRUE(launcher_.log.Contains("CDialog::Create() : CreateDialog() failed : template109"));

  launcher_.mgr.m_initialized = false;
  EXPECT_EQ(launcher_.mgr.CreateDialog(ScreenLauncher), nullptr);
  launcher_.mgr.m_initialized = true;
}

}  // namespace
