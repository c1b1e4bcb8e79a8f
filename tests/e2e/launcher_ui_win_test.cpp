// The real Talvenor.exe driven from outside through its windows: the screens it opens by
// mode, the minimise button, the close, and the message box of a second instance.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace {

std::string Launcher() { return "\"" + BinPath("Talvenor.exe") + "\""; }

UiWindow MainWindowOf(const ChildProcess& process) {
  UiQuery query;
  query.className = "pinfox_launcher";
  query.processId = process.Id();
  return ui::WaitForWindow(query);
}

TEST(LauncherWindows, UninstallScreenMinimisesAndCloses) {
  ScopedTempDir cwd;
  ChildProcess launcher;
  ASSERT_TRUE(launcher.Start(Launcher() + " /uninstall", cwd.path()));
  UiWindow screen = ui::WaitForWindow(ui::ScreenOf(launcher.Id(), 1019));
  ASSERT_NE(screen, nullptr);
  UiWindow main = MainWindowOf(launcher);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(ui::Text(main), Big5(L"移除talvenor"));
  EXPECT_TRUE(ui::IsVisible(screen, 1019));
  EXPECT_TRUE(ui::IsVisible(screen, 1032));
  EXPECT_EQ(ui::Text(screen, 2), Big5(L"取消"));

  // The main window ignores a close from the task bar.
  EXPECT_TRUE(ui::Close(main));
  EXPECT_TRUE(ui::Click(screen, 1033));
  EXPECT_TRUE(WaitUntil([&] { return IsIconic(main) != FALSE; }, 10000));
  EXPECT_TRUE(IsWindow(main));

  EXPECT_TRUE(ui::Click(screen, 2));
  std::uint32_t code = 99;
  ASSERT_TRUE(launcher.Wait(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(IsWindow(screen));
}

TEST(LauncherWindows, ASecondLauncherSaysSoInAMessageBox) {
  ScopedTempDir cwd;
  ChildProcess first;
  ASSERT_TRUE(first.Start(Launcher() + " /uninstall", cwd.path()));
  UiWindow screen = ui::WaitForWindow(ui::ScreenOf(first.Id(), 1019));
  ASSERT_NE(screen, nullptr);

  ChildProcess second;
  ASSERT_TRUE(second.Start(Launcher(), cwd.path()));
  UiWindow box = ui::WaitForMessageBox(second.Id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), Big5(L"#正在執行塔維諾Launcher。"));
  EXPECT_FALSE(ui::IsEnabled(box, 1034));  // a label, not a button
  EXPECT_TRUE(ui::AnswerMessageBox(box, 1));
  std::uint32_t code = 99;
  ASSERT_TRUE(second.Wait(20000, &code));
  EXPECT_EQ(code, 0u);

  EXPECT_TRUE(ui::Close(screen));  // the dialog's own close is its cancel
  ASSERT_TRUE(first.Wait(20000, &code));
}

}  // namespace
