// The dialog framework under Wine: the worker and its watch, close requests, destruction,
// the minimise button, placement, and the message box. The screens run on the test's own
// thread, which handles their messages while it waits (ui::PumpMessages).
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher/app/launcher_app.h"
#include "launcher/ui/dialog.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr int kTemplate = 109;  // any skinned screen will do

using ui::PumpUntil;

class TestDialog : public CDialog {
 public:
  explicit TestDialog(DialogPlacement placement = PlacementNone, int templateId = kTemplate)
      : CDialog(templateId, placement) {}
  ~TestDialog() override { Destroy(); }  // the worker uses this object's members

  void OnCommand(WPARAM wParam, LPARAM) override { commands.push_back(wParam); }
  int ThreadProc() override {
    ++starts;
    return work ? work(*this) : 0;
  }
  void OnThreadEnd() override {
    ++ends;
    resultAtEnd = GetThreadResult();
  }

  std::function<int(TestDialog&)> work;
  std::vector<WPARAM> commands;
  std::atomic<int> starts{0};
  int ends = 0;
  int resultAtEnd = 0;
};

// A worker held until the test lets it go (or the framework terminates it).
struct Gate {
  CKernelHandle event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  int Hold() {
    WaitForSingleObject(event.get(), INFINITE);
    return 5;
  }
  void Open() { SetEvent(event.get()); }
};

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() : saved_(g_dialogLimits) {
    UseLauncherMessages();
    g_dialogLimits.workerStopMs = 400;
    g_dialogLimits.messageCloseMs = 400;
  }
  ~DialogTest() override {
    launcher_.mgr.DestroyMainWindow();
    ui::PumpMessages();
    g_dialogLimits = saved_;
    launcher_.mgr.SetMessageHook(nullptr, nullptr);
  }
  HWND MainWindow() {
    if (launcher_.mgr.m_mainWnd == nullptr) {
      EXPECT_TRUE(launcher_.mgr.CreateMainWindow());
    }
    return launcher_.mgr.m_mainWnd;
  }
  ScopedLauncher launcher_;

 private:
  DialogLimits saved_;
};

TEST_F(DialogTest, BeginThreadWhileAWorkerRunsIsRefused) {
  MainWindow();
  TestDialog dialog;
  Gate gate;
  dialog.work = [&](TestDialog&) { return gate.Hold(); };
  ASSERT_TRUE(dialog.Create());
  ASSERT_TRUE(dialog.BeginThread());
  EXPECT_TRUE(dialog.IsThreadRunning());
  EXPECT_FALSE(dialog.BeginThread());
  gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return dialog.ends == 1; }));
  EXPECT_EQ(dialog.starts, 1);
  EXPECT_EQ(dialog.resultAtEnd, 5);
  EXPECT_FALSE(dialog.IsThreadRunning());
  EXPECT_NE(dialog.Window(), nullptr);  // no close was requested: the screen stays
  EXPECT_NE(launcher_.mgr.m_mainWnd, nullptr);
}

TEST_F(DialogTest, CloseRequestEndsTheScreenAndTheLauncher) {
  enum Worker { None, HonoursTheStop, IgnoresTheStop };
  struct Case {
    Worker worker;
    bool closedAtOnce;
    int result;  // seen by OnThreadEnd
    const char* logLine;
  } cases[] = {
      {None, true, 0, nullptr},
      {HonoursTheStop, false, 7, nullptr},
      {IgnoresTheStop, false, -1, "terminate worker thread..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.worker);
    MainWindow();
    TestDialog dialog;
    Gate gate;
    dialog.work = [&](TestDialog& self) {
      if (c.worker == IgnoresTheStop) return gate.Hold();
      while (!self.IsStopRequested()) Sleep(5);
      return 7;
    };
    ASSERT_TRUE(dialog.Create());
    HWND window = dialog.Window();
    if (c.worker != None) {
      ASSERT_TRUE(dialog.BeginThread());
    }
    dialog.RequestClose();
    EXPECT_EQ(IsWindow(window) == FALSE, c.closedAtOnce);
    EXPECT_EQ(dialog.IsStopRequested(), c.worker != None);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }));
    EXPECT_EQ(launcher_.mgr.m_mainWnd, nullptr);
    EXPECT_EQ(dialog.ends, c.worker != None ? 1 : 0);
    EXPECT_EQ(dialog.resultAtEnd, c.result);
    if (c.worker != None) {
      EXPECT_EQ(dialog.GetThreadResult(), c.result);
    }
    if (c.logLine != nullptr) {
      EXPECT_TRUE(launcher_.log.Contains(c.logLine)) << launcher_.log.Joined();
    }
    EXPECT_FALSE(dialog.IsThreadRunning());
    gate.Open();
  }
}

TEST_F(DialogTest, DestroyTwiceAndDestroyWithAWorkerThatDoesNotStop) {
  MainWindow();
  TestDialog dialog;
  Gate gate;
  dialog.work = [&](TestDialog&) { return gate.Hold(); };
  EXPECT_FALSE(dialog.Destroy());  // never created
  ASSERT_TRUE(dialog.Create());
  EXPECT_FALSE(dialog.Create());  // one window per object
  ASSERT_TRUE(dialog.BeginThread());
  HWND window = dialog.Window();
  EXPECT_TRUE(dialog.Destroy());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(dialog.Window(), nullptr);
  EXPECT_EQ(dialog.GetThreadResult(), -1);
  EXPECT_TRUE(launcher_.log.Contains("worker thread timed out")) << launcher_.log.Joined();
  EXPECT_FALSE(dialog.IsThreadRunning());
  EXPECT_FALSE(dialog.Destroy());
  EXPECT_NE(launcher_.mgr.m_mainWnd, nullptr);  // Destroy alone leaves the launcher running
  gate.Open();
}

// A worker that stops by way of a window call (a button disabled, a text set) needs the
// user-interface thread, which is waiting for it in Destroy: the wait answers such calls, so
// the worker ends by itself instead of being terminated.
TEST_F(DialogTest, DestroyAnswersTheWorkersWindowCallsWhileItWaits) {
  MainWindow();
  TestDialog dialog;
  dialog.work = [](TestDialog& self) {
    while (!self.IsStopRequested()) Sleep(5);
    SetWindowTextA(GetDlgItem(self.Window(), 1019), "stopped");
    return 9;
  };
  ASSERT_TRUE(dialog.Create());
  HWND button = GetDlgItem(dialog.Window(), 1019);
  ASSERT_TRUE(dialog.BeginThread());
  EXPECT_TRUE(dialog.Destroy());
  EXPECT_EQ(dialog.GetThreadResult(), 9);
  EXPECT_FALSE(launcher_.log.Contains("worker thread timed out")) << launcher_.log.Joined();
  EXPECT_FALSE(IsWindow(button));
}

TEST_F(DialogTest, MinimiseButtonNeverReachesOnCommand) {
  HWND main = MainWindow();
  TestDialog dialog(PlacementCentreInOwner);
  ASSERT_TRUE(dialog.Create());
  ASSERT_FALSE(IsIconic(main));
  SendMessageA(dialog.Window(), WM_COMMAND, 1033, 0);
  EXPECT_TRUE(IsIconic(main));
  EXPECT_TRUE(dialog.commands.empty());
  // Only the plain click of 1033 is the minimise button; everything else is the screen's.
  SendMessageA(dialog.Window(), WM_COMMAND, MAKEWPARAM(1033, EN_CHANGE), 0);
  SendMessageA(dialog.Window(), WM_COMMAND, 1019, 0);
  EXPECT_EQ(dialog.commands, (std::vector<WPARAM>{MAKEWPARAM(1033, EN_CHANGE), 1019}));
}

// A screen that wants a message the framework does not route takes it in HandleMessage and
// passes the rest on: the framework's own routing (commands, the minimise button) stays.
TEST_F(DialogTest, AScreenTakesAnyMessageThroughItsHandler) {
  class Handling : public TestDialog {
   public:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
      if (message == WM_APP + 7) {
        seen.push_back(wParam);
        return TRUE;
      }
      return TestDialog::HandleMessage(message, wParam, lParam);
    }
    std::vector<WPARAM> seen;
  };
  HWND main = MainWindow();
  Handling dialog;
  ASSERT_TRUE(dialog.Create());
  SendMessageA(dialog.Window(), WM_APP + 7, 3, 0);
  EXPECT_EQ(dialog.seen, std::vector<WPARAM>{3});
  SendMessageA(dialog.Window(), WM_COMMAND, 1019, 0);
  EXPECT_EQ(dialog.commands, std::vector<WPARAM>{1019});
  SendMessageA(dialog.Window(), WM_COMMAND, 1033, 0);
  EXPECT_TRUE(IsIconic(main));
  EXPECT_EQ(dialog.commands.size(), 1u);
}

TEST_F(DialogTest, PlacementOfTheMainWindowAndTheDialog) {
  const int fullW = GetSystemMetrics(SM_CXFULLSCREEN), fullH = GetSystemMetrics(SM_CYFULLSCREEN);
  {
    HWND main = MainWindow();
    TestDialog dialog(PlacementFitOwner, 112);
    ASSERT_TRUE(dialog.Create());
    RECT d, m;
    GetWindowRect(dialog.Window(), &d);
    GetWindowRect(main, &m);
    const int w = d.right - d.left, h = d.bottom - d.top;
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(m.right - m.left, w);
    EXPECT_EQ(m.bottom - m.top, h);
    EXPECT_EQ(m.left, (fullW - w) / 2);
    EXPECT_EQ(m.top, (fullH - h) / 2);
  }
  launcher_.mgr.DestroyMainWindow();
  {
    HWND main = MainWindow();
    TestDialog dialog(PlacementCentreInOwner, 109);
    ASSERT_TRUE(dialog.Create());
    RECT d;
    GetWindowRect(dialog.Window(), &d);
    EXPECT_TRUE(IsZoomed(main));
    EXPECT_EQ(d.left, (fullW - (d.right - d.left)) / 2);
    EXPECT_EQ(d.top, (fullH - (d.bottom - d.top)) / 2);
  }
}

TEST_F(DialogTest, AMissingTemplateIsLogged) {
  MainWindow();
  TestDialog dialog(PlacementNone, 179);
  EXPECT_FALSE(dialog.Create());
  EXPECT_TRUE(launcher_.log.Contains("CDialog::Create() : CreateDialog() failed : template179"));
  EXPECT_EQ(dialog.Window(), nullptr);
}

// A message box shown on a thread of its own, as a dialog's worker shows it; the test
// answers it from outside. No main window: the box has no owner.
class MessageTest : public DialogTest {
 protected:
  ~MessageTest() override {
    if (shower_.joinable()) shower_.join();
  }
  void Show(std::function<int()> show) {
    shower_ = std::thread([this, show] { result_ = show(); });
  }
  int Result() {
    shower_.join();
    return result_;
  }
  std::thread shower_;
  std::atomic<int> result_{-2};
};

TEST_F(MessageTest, ShowMessageAppendsTheCode) {
  Show([this] { return launcher_.mgr.ShowMessage(5, 47, kMessageInfo); });
  UiWindow box = ui::WaitForMessageBox(GetCurrentProcessId());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), Big5(L"#執行中發生問題.\n# 請稍後再試.(5)"));
  EXPECT_EQ(ui::Text(box, 1), Big5(L"@確認"));
  EXPECT_FALSE(GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(ui::AnswerMessageBox(box, 1));
  EXPECT_EQ(Result(), 1);
  EXPECT_TRUE(launcher_.log.Contains("MessageBox() : " + Big5(L"#執行中發生問題.\n# 請稍後再試.(5)")));
}

TEST_F(MessageTest, AnInformationBoxClosesItselfAndAQuestionBoxDoesNot) {
  Show([this] { return launcher_.mgr.ShowMessage(0, 13, kMessageInfo); });
  ASSERT_NE(ui::WaitForMessageBox(GetCurrentProcessId()), nullptr);
  EXPECT_EQ(Result(), 0);

  Show([this] { return launcher_.mgr.ShowMessage(0, 5, kMessageQuestion); });
  UiWindow box = ui::WaitForMessageBox(GetCurrentProcessId());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), Big5(L"#要將talvenor從硬碟上\n#刪除嗎?"));
  EXPECT_FALSE(ui::WaitForWindowGone(box, 4 * g_dialogLimits.messageCloseMs));
  EXPECT_TRUE(ui::AnswerMessageBox(box, 7));
  EXPECT_EQ(Result(), 7);
}

TEST_F(MessageTest, ALeadingBackspaceOrTabKeepsTheBoxOnTop) {
  for (const char* text : {"\b#on top", "\t#on top"}) {
    Show([this, text] { return launcher_.mgr.MessageBox(text, kMessageQuestion); });
    UiWindow box = ui::WaitForMessageBox(GetCurrentProcessId());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ui::MessageBoxText(box), "#on top");
    EXPECT_TRUE(GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(ui::AnswerMessageBox(box, 6));
    EXPECT_EQ(Result(), 6);
  }
}

}  // namespace
