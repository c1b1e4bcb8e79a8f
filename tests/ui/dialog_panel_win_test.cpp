#include "launcher/ui/dialog_panel.h"

#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/support/log_capture.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace {

// An owner-drawn button stands in for the panel control of a dialog.
struct Control {
  HWND window = CreateWindowExA(0, "BUTTON", "", WS_POPUP | BS_OWNERDRAW, 0, 0, 300, 60, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ~Control() { DestroyWindow(window); }
};

// A visible window whose owner-drawn child is the panel control; it counts the repaints of
// the child and keeps the percentage each one would draw.
struct PanelWindow {
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM) {
      auto* self = reinterpret_cast<PanelWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
      if (self != nullptr) {
        ++self->draws;
        self->drawnProgress = self->panel.Progress();
      }
      return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  PanelWindow() {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = &Proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "TalvPanelTest";
    RegisterClassA(&cls);
    window = CreateWindowExA(0, "TalvPanelTest", "panel", WS_POPUP | WS_VISIBLE, 0, 0, 320, 80, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    control = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 300, 60, window, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(window);
    panel.Attach(control);
    draws = 0;
  }
  ~PanelWindow() { DestroyWindow(window); }

  HWND window = nullptr;
  HWND control = nullptr;
  CPanel panel;
  int draws = 0;
  int drawnProgress = -1;
};

}  // namespace

TEST(DialogPanel, DetachedPanelKeepsOnlyThePercentage) {
  CPanel panel;
  LogCapture log;
  panel.SetPanelType(PanelDownload);
  panel.SetGameVersion(300);
  panel.SetText("ignored");
  panel.SetProgress(42);
  EXPECT_EQ(panel.Type(), 0);
  EXPECT_EQ(panel.GameVersion(), 0);
  EXPECT_EQ(panel.Progress(), 42);
  EXPECT_TRUE(log.lines().empty());
  char text[CPanel::kTextSize] = "unchanged";
  panel.GetText(text);
  EXPECT_STREQ(text, "unchanged");
}

TEST(DialogPanel, AttachedPanelStoresLogsAndCutsTheText) {
  Control control;
  ASSERT_NE(control.window, nullptr);
  CPanel panel;
  panel.Attach(control.window);
  LogCapture log;
  panel.SetPanelType(PanelNone);
  panel.SetGameVersion(301);
  panel.SetText("Downloading launcher...");
  panel.SetProgress(150);  // stored unchanged; the drawing clamps
  EXPECT_EQ(panel.Type(), PanelNone);
  EXPECT_EQ(panel.GameVersion(), 301);
  EXPECT_EQ(panel.Progress(), 150);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"panel text : Downloading launcher..."});

  panel.SetText(std::string(2000, 'x').c_str());
  char text[CPanel::kTextSize];
  panel.GetText(text);
  EXPECT_EQ(std::string(text), std::string(CPanel::kTextSize - 1, 'x'));
  panel.SetText(nullptr);
  panel.GetText(text);
  EXPECT_EQ(std::string(text).size(), CPanel::kTextSize - 1);
}

// A worker that changes the panel without pause gets it repainted at most 25 times a second,
// and the last change is drawn once the worker is done.
TEST(DialogPanel, AWorkerChangingWithoutPauseIsDrawnAFrameAtATime) {
  PanelWindow w;
  ASSERT_NE(w.control, nullptr);
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    for (int i = 0; !stop; ++i) {
      w.panel.SetProgress(i % 100);
      w.panel.SetText("Patch data\\maps\\world.map");
    }
    w.panel.SetProgress(100);
  });
  const std::uint32_t start = TickMs();
  WaitUntil(
      [] {
        ui::PumpMessages();
        return false;
      },
      400);
  const std::uint32_t elapsed = TickMs() - start;
  stop = true;
  worker.join();
  EXPECT_GE(w.draws, 2);
  EXPECT_LE(w.draws, static_cast<int>(elapsed / 40 + 2));
  EXPECT_TRUE(WaitUntil(
      [&] {
        ui::PumpMessages();
        return w.drawnProgress == 100;
      },
      5000));
}
