#include "launcher/ui/dialog_panel.h"

#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/log_capture.h"

namespace {

// An owner-drawn button stands in for the panel control of a dialog.
struct Control {
  HWND window = CreateWindowExA(0, "BUTTON", "", WS_POPUP | BS_OWNERDRAW, 0, 0, 300, 60, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ~Control() { DestroyWindow(window); }
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
