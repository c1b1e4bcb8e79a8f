// The install folder page under Wine, created as the launcher creates it (dialog type 2) on
// the test's thread; a second thread answers the message boxes and the folder chooser.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher/app/launcher_app.h"
#include "launcher/core/env_checks.h"
#include "launcher/core/windows_version.h"
#include "launcher/ui/dialog.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/screen_capture.h"
#include "tests/support/ui_driver.h"

namespace {

constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

std::uint64_t g_freeBytes = 0;
bool FreeSpace(const char*, std::uint64_t* freeBytes) {
  *freeBytes = g_freeBytes;
  return true;
}

using ui::PumpUntil;

bool Same(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

class FolderPage : public ::testing::Test {
 protected:
  FolderPage() {
    UseLauncherMessages();
    SetFreeSpaceQuery(&FreeSpace);
    g_freeBytes = std::uint64_t{1} << 40;
  }
  ~FolderPage() override {
    for (CDialog* dialog : launcher_.mgr.m_dialogs) delete dialog;
    launcher_.mgr.m_dialogs.clear();
    launcher_.mgr.DestroyMainWindow();
    ui::PumpMessages();
    SetFreeSpaceQuery(nullptr);
    launcher_.mgr.SetMessageHook(nullptr, nullptr);
  }
  void SetUp() override {
    ASSERT_TRUE(launcher_.mgr.CreateMainWindow());
    CDialog* page = launcher_.mgr.CreateDialog(ScreenInstallFolder);
    ASSERT_NE(page, nullptr);
    page_ = page->Window();
    ASSERT_NE(page_, nullptr);
  }

  // Clicks a button of the page; the message box it opens is read and answered from a
  // second thread while this one runs the box. "" when no box came.
  std::string ClickAndAnswer(int control, int answer) {
    std::string text;
    std::atomic<bool> done{false};
    std::thread user([&] {
      UiWindow box = ui::WaitForMessageBox(GetCurrentProcessId());
      if (box != nullptr) {
        text = ui::MessageBoxText(box);
        ui::AnswerMessageBox(box, answer);
      }
      done = true;
    });
    EXPECT_TRUE(ui::Click(page_, control));
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    user.join();
    ui::PumpMessages();
    return text;
  }
  std::string String(int id) {
    char text[512];
    launcher_.mgr.GetString(sizeof(text), text, id);
    return text;
  }
  void TypeFolder(const std::string& path) { SetDlgItemTextA(page_, 1005, path.c_str()); }
  // The page is still there and nothing came after it.
  bool Stays() { return IsWindow(page_) && launcher_.mgr.m_dialogs.size() == 1; }

  ScopedLauncher launcher_;
  ScopedTempDir scratch_;
  HWND page_ = nullptr;
};

TEST_F(FolderPage, ProposesTheOrvexFolderOnTheSystemDrive) {
  // Wine reports a Windows of major version 6 (class 7): the folder lies on the system drive.
  ASSERT_EQ(GetWindowsVersionClass(), 7);
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, sizeof(system)), 3u);
  EXPECT_EQ(ui::Text(page_, 1005), std::string(system, 3) + "Orvex\\Talvenor");
}

TEST_F(FolderPage, RefusedFoldersKeepThePage) {
  ASSERT_TRUE(WriteFileBytes(scratch_ / "file", "x"));
  struct Case {
    std::string typed;
    int message;
  } cases[] = {
      {"C:\\", 50},  // the separator goes first: 2 characters are left
      {"C:", 50},
      {"Games\\Talvenor", 50},           // not a place on any drive
      {scratch_ / "file\\Talvenor", 23},  // under a file
      {scratch_ / "file", 23},            // a file is no folder
      {scratch_ / "a|b", 23},             // no valid name
  };
  const std::string gameDir = launcher_.mgr.m_gameDir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TypeFolder(c.typed);
    EXPECT_EQ(ClickAndAnswer(1009, 1), String(c.message));
    EXPECT_TRUE(Stays());
    EXPECT_EQ(launcher_.mgr.m_gameDir, gameDir);
  }
  EXPECT_FALSE(PathExists(scratch_ / "a|b"));
}

// Once the page hands over, the installer's screen runs and may ask things of its own:
// these tests answer through the message hook, without a box.
struct Answers {
  int question = kAnswerNo;
  std::vector<int> asked;
  static int Hook(int stringId, const char*, int type, void* context) {
    Answers* self = static_cast<Answers*>(context);
    self->asked.push_back(stringId);
    return type == kMessageQuestion ? self->question : 0;
  }
};

TEST_F(FolderPage, TooLittleSpaceAsksAndNoStays) {
  Answers answers;
  launcher_.mgr.SetMessageHook(&Answers::Hook, &answers);
  g_freeBytes = 0;
  TypeFolder(scratch_ / "Orvex\\Talvenor");
  ASSERT_TRUE(ui::Click(page_, 1009));
  ASSERT_TRUE(PumpUntil([&] { return !answers.asked.empty(); }));
  EXPECT_EQ(answers.asked, std::vector<int>{25});
  EXPECT_TRUE(Stays());
  EXPECT_FALSE(PathExists(scratch_ / "Orvex"));

  answers.question = kAnswerYes;
  ASSERT_TRUE(ui::Click(page_, 1009));
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(page_); }));
  EXPECT_EQ(answers.asked.at(1), 25);
  EXPECT_TRUE(PathExists(scratch_ / "Orvex\\Talvenor"));
}

TEST_F(FolderPage, NextCreatesTheFolderAndHandsOverToTheInstaller) {
  Answers answers;
  launcher_.mgr.SetMessageHook(&Answers::Hook, &answers);
  const std::string folder = scratch_ / "Orvex\\Talvenor";
  TypeFolder(folder + "\\\\");
  ASSERT_TRUE(ui::Click(page_, 1009));
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(page_); }));
  EXPECT_TRUE(PathExists(folder));
  EXPECT_EQ(launcher_.mgr.m_gameDir, folder);
  ASSERT_EQ(launcher_.mgr.m_dialogs.size(), 2u);
  EXPECT_EQ(launcher_.mgr.m_dialogs.back()->TemplateId(), 117);
}

TEST_F(FolderPage, CancelAsksAndYesEndsTheLauncher) {
  for (int control : {1010, 1032}) {
    EXPECT_EQ(ClickAndAnswer(control, kAnswerNo), String(3));
    EXPECT_TRUE(Stays());
    EXPECT_NE(launcher_.mgr.m_mainWnd, nullptr);
  }
  EXPECT_EQ(ClickAndAnswer(1032, kAnswerYes), String(3));
  EXPECT_EQ(launcher_.mgr.m_mainWnd, nullptr);
  EXPECT_FALSE(IsWindow(page_));  // it went with its owner
}

// Browse opens the chooser on the typed folder, or on the system drive when that does not
// exist yet; what the chooser returns is typed into the page.
TEST_F(FolderPage, BrowseStartsTheChooserWhereItCan) {
  struct Case {
    std::string typed;
    std::string label;  // shown by the chooser as it opens
    bool ok;
    std::string after;
  } cases[] = {
      {scratch_ / "missing\\Talvenor", "C:", false, scratch_ / "missing\\Talvenor"},
      {scratch_.path(), scratch_.path(), true, scratch_.path()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TypeFolder(c.typed);
    std::string label;
    std::atomic<bool> done{false};
    std::thread user([&] {
      UiQuery chooser;
      chooser.className = "#32770";
      chooser.processId = GetCurrentProcessId();
      chooser.withControl = 1011;
      if (UiWindow window = ui::WaitForWindow(chooser)) {
        label = ui::Text(window, 1015);
        ui::Click(window, c.ok ? 1016 : 1017);
      }
      done = true;
    });
    ASSERT_TRUE(ui::Click(page_, 1004));
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    user.join();
    ui::PumpMessages();
    EXPECT_TRUE(Same(label, c.label)) << label;
    EXPECT_TRUE(Same(ui::Text(page_, 1005), c.after)) << ui::Text(page_, 1005);
    EXPECT_TRUE(Stays());
  }
}

// Picture: the page as it opens, with its proposed folder.
TEST(Screens, DISABLED_FolderPage) {
  ScopedLauncher launcher;
  ASSERT_TRUE(launcher.mgr.CreateMainWindow());
  CDialog* page = launcher.mgr.CreateDialog(ScreenInstallFolder);
  ASSERT_NE(page, nullptr);
  screens::ScreenSettle();
  EXPECT_TRUE(screens::WritePng(page->Window(), screens::ScreenOutputPath("105_folder")));
  delete page;
  launcher.mgr.m_dialogs.clear();
  launcher.mgr.DestroyMainWindow();
  ui::PumpMessages();
}

}  // namespace
