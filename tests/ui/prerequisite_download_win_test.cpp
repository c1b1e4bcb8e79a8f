// The prerequisite download dialog against nginx and the fault server on loopback. The
// dialog comes from a template built here with the controls of template 111; message
// boxes and the start of the installer are observed through their hooks.
#include "launcher/ui/prerequisite_download_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"
#include "tests/transfer/served_folder.h"

namespace {

constexpr char kCaption[] = "prerequisite download test";
constexpr std::uint32_t kSize = 299624;

// A dialog template in memory: progress bar 1021, install 1022, cancel 2, label 1034.
class DownloadTemplate {
 public:
  DownloadTemplate() {
    Dword(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Dword(0);
    Word(4);
    Rect(0, 0, 240, 90);
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    Text(L"prerequisite download test");
    Item(WS_CHILD | WS_VISIBLE, 10, 10, 220, 12, 1034, nullptr, 0x0082, L"download");
    Item(WS_CHILD | WS_VISIBLE, 10, 30, 220, 14, kDownloadProgressId, PROGRESS_CLASSW, 0, L"");
    Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 60, 60, 50, 14, kDownloadInstallId, nullptr, 0x0080,
         L"install");
    Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 130, 60, 50, 14, kDownloadCancelId, nullptr, 0x0080, L"cancel");
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Rect(short x, short y, short cx, short cy) {
    for (short v : {x, y, cx, cy}) Word(static_cast<WORD>(v));
  }
  void Text(const wchar_t* text) {
    for (; *text != L'\0'; ++text) Word(static_cast<WORD>(*text));
    Word(0);
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, const wchar_t* className, WORD atom,
            const wchar_t* text) {
    if (words_.size() % 2 != 0) Word(0);  // items start on a DWORD boundary
    Dword(style);
    Dword(0);
    Rect(x, y, cx, cy);
    Word(id);
    if (className != nullptr) {
      Text(className);
    } else {
      Word(0xFFFF);
      Word(atom);
    }
    Text(text);
    Word(0);  // no creation data
  }
  std::vector<WORD> words_;
};

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
  std::string bytesAtStart;
  bool startAgain = false;  // the first start clicks install once more
};

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int Hook(int stringId, const char*, int type, void* context) {
  auto* o = static_cast<Observed*>(context);
  o->messages.push_back(stringId);
  if (type != kMessageQuestion) return 1;
  o->sizeAtQuestion = FileSize(o->target);
  const int n = o->questions++;
  return n < static_cast<int>(o->answers.size()) ? o->answers[static_cast<std::size_t>(n)] : 6;
}

bool Starter(HWND__* dialog, const char* path, void* context) {
  auto* o = static_cast<Observed*>(context);
  ++o->starts;
  if (o->starts == 1) {
    o->barAtStart = static_cast<int>(SendDlgItemMessageA(dialog, kDownloadProgressId, PBM_GETPOS, 0, 0));
    o->installEnabledAtStart = IsWindowEnabled(GetDlgItem(dialog, kDownloadInstallId)) != FALSE;
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

  INT_PTR Run(const std::string& address, std::uint32_t size, HWND owner = nullptr) {
    char parameter[kDownloadParameter];
    EXPECT_TRUE(FormatDownloadParameter(address.c_str(), size, kDownloadFolderWord, parameter, sizeof(parameter)));
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), dialog_.get(), owner, &DownloadDialogProc,
                                   reinterpret_cast<LPARAM>(parameter));
  }

  ScopedLauncher launcher_;
  ServedFolder served_;
  DownloadTemplate dialog_;
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
    HWND dialog = FindWindowA(nullptr, kCaption);
    firstPosted = PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kDownloadCancelId, BN_CLICKED), 0) != FALSE;
    if (!WaitUntil([&] { return observed_.questions == 1; }, 60000)) return;
    grewAfterNo = WaitUntil([&] { return FileSize(target) > observed_.sizeAtQuestion; }, 60000);
    secondPosted = PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kDownloadCancelId, BN_CLICKED), 0) != FALSE;
  });
  const INT_PTR result = Run(served_.Fault("slow/8192/40/", "dxwebsetup.exe"), kSize);
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
