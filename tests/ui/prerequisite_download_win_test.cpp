// The prerequisite download dialog against nginx and the fault server on loopback, run as
// the prerequisite page runs it: RunPrerequisiteDownload on template 111 of the launcher's
// own resources. Message boxes and the start of the installer are observed through their
// hooks.
#include "launcher/core/windows_api.h"

#include "launcher/ui/prerequisite_download.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scoped_launcher.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"
#include "tests/transfer/served_folder.h"

namespace {

constexpr std::uint32_t kSize = 299624;

// What the dialog showed and started, recorded on the user-interface thread; the few
// values the watcher thread reads are atomic.
struct Observed {
  std::vector<int> messages;
  std::vector<int> answers;  // answers to questions in turn; "yes" when they run out
  std::atomic<int> questions{0};
  std::atomic<long long> sizeAtQuestion{-1};
  std::string target;
  int starts = 0;
  int barAtStart = -1;
  bool installEnabledAtStart = false;
  std::string labelAtStart;
  std::string bytesAtStart;
  bool startAgain = false;  // the first start clicks install once more
};

int Hook(int stringId, const char*, int type, void* context) {
  auto* o = static_cast<Observed*>(context);
  o->messages.push_back(stringId);
  if (type != kMessageQuestion) return 1;
  o->sizeAtQuestion = static_cast<long long>(FileSize(o->target));
  const int n = o->questions++;
  return n < static_cast<int>(o->answers.size()) ? o->answers[static_cast<std::size_t>(n)] : 6;
}

bool Starter(HWND__* dialog, const char* path, void* context) {
  auto* o = static_cast<Observed*>(context);
  ++o->starts;
  if (o->starts == 1) {
    o->barAtStart = static_cast<int>(SendDlgItemMessageA(dialog, kDownloadProgressId, PBM_GETPOS, 0, 0));
    o->installEnabledAtStart = IsWindowEnabled(GetDlgItem(dialog, kDownloadInstallId)) != FALSE;
    o->labelAtStart = ui::Text(dialog, 1034);
    o->bytesAtStart = ReadFileOr(path, "<none>");
  }
  if (o->starts == 1 && o->startAgain) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kDownloadInstallId, BN_CLICKED), 0);
  } else {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kDownloadCancelId, BN_CLICKED), 0);
  }
  return true;
}

std::string Installer() {
  std::string bytes(kSize, '\0');
  std::uint32_t x = 12345;
  for (char& c : bytes) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

class PrerequisiteDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers not running";
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ASSERT_TRUE(served_.Put("dxwebsetup.exe", Installer()));
    observed_.target = launcher_.GamePath("Talvenor\\dxwebsetup.exe");
    launcher_.mgr.SetMessageHook(&Hook, &observed_);
    SetPrerequisiteStarter(&Starter, &observed_);
  }
  void TearDown() override {
    launcher_.mgr.SetMessageHook(nullptr, nullptr);
    SetPrerequisiteStarter(nullptr, nullptr);
  }

  int Run(const std::string& address, std::uint32_t size, HWND owner = nullptr) {
    return RunPrerequisiteDownload(owner, address.c_str(), size);
  }

  ScopedLauncher launcher_;
  ServedFolder served_;
  Observed observed_;
};

}  // namespace

TEST_F(PrerequisiteDownloadTest, AWholeFileFillsTheBarAndIsStartedOnlyWhenComplete) {
  observed_.startAgain = true;
  EXPECT_EQ(Run(served_.Nginx("dxwebsetup.exe"), kSize), 0);
  EXPECT_EQ(observed_.messages, std::vector<int>{17});
  EXPECT_EQ(observed_.starts, 2);  // once at the end, once more by the install button
  EXPECT_EQ(observed_.barAtStart, 100);
  EXPECT_TRUE(observed_.installEnabledAtStart);
  EXPECT_EQ(observed_.labelAtStart, "\xA4\x55\xB8\xFC");  // "下載" of template 111, in Big5
  EXPECT_TRUE(observed_.bytesAtStart == Installer()) << observed_.bytesAtStart.size();
  // Cancelled after the end: no question, and the installer is deleted.
  EXPECT_EQ(observed_.questions, 0);
  EXPECT_FALSE(PathExists(observed_.target));
}

TEST_F(PrerequisiteDownloadTest, CancelAsksFirstAndYesDeletesThePartialFile) {
  observed_.answers = {7, 6};  // "no", then "yes"
  std::atomic<bool> firstPosted{false}, grewAfterNo{false}, secondPosted{false};
  std::thread watcher([&] {
    const std::string& target = observed_.target;
    if (!WaitUntil([&] { return FileSize(target) >= kSize / 2; }, 60000)) return;
    UiWindow dialog = ui::WaitForWindow(ui::ScreenOf(GetCurrentProcessId(), kDownloadProgressId));
    firstPosted = ui::Click(dialog, kDownloadCancelId);
    if (!WaitUntil([&] { return observed_.questions == 1; }, 60000)) return;
    grewAfterNo = WaitUntil([&] { return static_cast<long long>(FileSize(target)) > observed_.sizeAtQuestion; }, 60000);
    secondPosted = ui::Click(dialog, kDownloadCancelId);
  });
  const int result = Run(served_.Fault("slow/8192/40/", "dxwebsetup.exe"), kSize);
  watcher.join();
  EXPECT_TRUE(firstPosted);
  EXPECT_TRUE(grewAfterNo);  // "no" let the download go on
  EXPECT_TRUE(secondPosted);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(observed_.messages, (std::vector<int>{18, 18}));
  EXPECT_GE(observed_.sizeAtQuestion, static_cast<long long>(kSize / 2));
  EXPECT_LT(observed_.sizeAtQuestion, static_cast<long long>(kSize));
  EXPECT_EQ(observed_.starts, 0);
  EXPECT_FALSE(PathExists(observed_.target));
}

TEST_F(PrerequisiteDownloadTest, FailedDownloadsLeaveNoFileAndStartNothing) {
  // Short breaks and a small file: the dialog reads one block per tick.
  ASSERT_TRUE(served_.Put("small.exe", Installer().substr(0, 8192)));
  const struct {
    std::string address;
    std::uint32_t size;
    int message;
  } cases[] = {
      {served_.Fault("status/404/", "dxwebsetup.exe"), kSize, 15},
      {served_.Nginx("missing.exe"), kSize, 15},  // nginx's own 404 page
      {served_.Fault("status/500/", "dxwebsetup.exe"), kSize, 15},
      {served_.Fault("cut/10000/", "dxwebsetup.exe"), kSize, 15},  // the connection drops
      {served_.Fault("cut/10000/", "dxwebsetup.exe"), 0, 15},      // short of the announced length
      {served_.Nginx("small.exe"), 9000, 15},                      // short of the expected size
  };
  for (const auto& c : cases) {
    observed_.messages.clear();
    EXPECT_EQ(Run(c.address, c.size), -1) << c.address;
    EXPECT_EQ(observed_.messages, std::vector<int>{c.message}) << c.address;
    EXPECT_FALSE(PathExists(observed_.target)) << c.address;
    EXPECT_FALSE(PathExists(launcher_.GamePath("Talvenor\\small.exe"))) << c.address;
  }
  EXPECT_EQ(observed_.starts, 0);
  EXPECT_EQ(observed_.questions, 0);
}

TEST_F(PrerequisiteDownloadTest, ATargetThatCannotBeCreatedIsReported) {
  CopyString(launcher_.mgr.m_gameDir, (launcher_.GamePath("no\\such\\folder") + "\\").c_str());
  EXPECT_EQ(Run(served_.Nginx("dxwebsetup.exe"), kSize), -1);
  EXPECT_EQ(observed_.messages, std::vector<int>{16});
  EXPECT_EQ(observed_.starts, 0);
}

TEST_F(PrerequisiteDownloadTest, OverFtpTheSizeComesFromTheServer) {
  const std::string folder = "pd" + std::to_string(GetCurrentProcessId());
  const std::string root = ServerEnv("TALV_FTP_ROOT_WIN") + "\\" + folder;
  CreateDirectoryA(root.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(root + "\\dxwebsetup.exe", Installer()));
  const std::string base = "ftp://talv:secret@" + ServerEnv("TALV_FTP_HOST") + "/" + folder + "/";

  EXPECT_EQ(Run(base + "dxwebsetup.exe", 1), 0);  // the parameter's size is replaced
  EXPECT_EQ(observed_.messages, std::vector<int>{17});
  EXPECT_EQ(observed_.starts, 1);
  EXPECT_EQ(observed_.barAtStart, 100);
  EXPECT_TRUE(observed_.bytesAtStart == Installer()) << observed_.bytesAtStart.size();

  observed_.messages.clear();
  EXPECT_EQ(Run(base + "missing.exe", kSize), -1);
  EXPECT_EQ(observed_.messages, std::vector<int>{15});
  EXPECT_EQ(observed_.starts, 1);
  RemoveTree(root);
}

TEST_F(PrerequisiteDownloadTest, AnOwnerThatGoesMidTransferTakesThePartialFileAlong) {
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  std::atomic<bool> posted{false};
  std::thread watcher([&] {
    if (!WaitUntil([&] { return FileSize(observed_.target) > 0; }, 60000)) return;
    posted = PostMessageA(owner, WM_CLOSE, 0, 0) != FALSE;
  });
  Run(served_.Fault("slow/8192/40/", "dxwebsetup.exe"), kSize, owner);
  watcher.join();
  EXPECT_TRUE(posted);
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_FALSE(PathExists(observed_.target));
  EXPECT_EQ(observed_.starts, 0);
  EXPECT_TRUE(observed_.messages.empty());
}
