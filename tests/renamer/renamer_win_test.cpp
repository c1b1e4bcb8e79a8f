// renamer.exe run from a scratch game folder: replacement, restart, and self-deletion.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/win_test_util.h"

namespace {

// renamer waits at most about 31 s for the launcher window, then up to 12 s for the files.
constexpr std::uint32_t kRunMs = 60000;
constexpr std::uint32_t kSelfDeleteMs = 15000;
constexpr char kOldLauncher[] = "old launcher";

// A game folder holding an old launcher, a downloaded new one (the stub launcher, so that a
// restart records its command line) and a copy of renamer under a launcher-made name.
class RenamerFolder {
 public:
  RenamerFolder() {
    EXPECT_TRUE(CopyFileA(BinPath("renamer.exe").c_str(), renamer_.c_str(), FALSE));
    EXPECT_TRUE(WriteFileBytes(target_, kOldLauncher));
    EXPECT_TRUE(ReadFileBytes(BinPath("stub_launcher.exe"), &newLauncher_));
    newLauncher_ += "new launcher";  // appended bytes keep the program runnable
    EXPECT_TRUE(WriteFileBytes(dir_ / "TalvNew.exe", newLauncher_));
  }
  ~RenamerFolder() {
    // A restarted stub may still be ending; its executable goes with the folder.
    WaitUntil([&] { return DeleteFileA(target_.c_str()) || !PathExists(target_); }, 10000);
  }

  ChildProcess& Start(const std::string& tail) {
    EXPECT_TRUE(process_.Start("\"" + renamer_ + "\" " + tail, dir_.path()));
    return process_;
  }
  // Waits for renamer to end with 0 and for its executable to be gone.
  void Finish() {
    std::uint32_t code = 1;
    ASSERT_TRUE(process_.Wait(kRunMs, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitUntil([&] { return !PathExists(renamer_); }, kSelfDeleteMs))
        << "renamer's executable is still there";
  }
  bool Replaced() const { return ReadFileOr(target_) == newLauncher_; }
  std::string LauncherArgsFile() const { return dir_ / "launcher_args.txt"; }
  std::string Folder(const std::string& name) const { return dir_ / name; }
  const std::string& target() const { return target_; }

 private:
  ScopedTempDir dir_;
  std::string renamer_ = dir_ / "ren1A2B.tmp.exe";
  std::string target_ = dir_ / "Talvenor.exe";
  std::string newLauncher_;
  ChildProcess process_;
};

}  // namespace

TEST(Renamer, ReplacesAndRestartsAsItsCommandLineSays) {
  struct Case {
    const char* tail;
    bool replaced;
    const char* restart;  // the restarted launcher's command line; null: no restart
  } cases[] = {
      {"Talvenor.exe TalvNew.exe domain:tw /N:n /V:v /T:t /P:pass", true,
       "Talvenor.exe domain:tw /N:n /V:v /T:t /P:pass"},
      {"Talvenor.exe TalvNew.exe", true, "Talvenor.exe "},
      {"Talvenor.exe TalvNew.exe bg domain:tw", true, nullptr},
      {"Talvenor.exe TalvNew.exe BG", true, "Talvenor.exe BG"},
      {"Talvenor.exe", false, nullptr},
      {"Talvenor.exe Missing.exe", false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tail);
    RenamerFolder folder;
    folder.Start(c.tail);
    folder.Finish();
    EXPECT_EQ(folder.Replaced(), c.replaced);
    if (!c.replaced) {
      EXPECT_EQ(ReadFileOr(folder.target()), kOldLauncher);
      EXPECT_TRUE(PathExists(folder.Folder("TalvNew.exe")));
    }
    if (c.restart != nullptr) {
      ASSERT_TRUE(WaitUntil([&] { return PathExists(folder.LauncherArgsFile()); }, 20000));
      EXPECT_EQ(ReadFileOr(folder.LauncherArgsFile()), c.restart);
    } else {
      // A restart would have been started before renamer handed its own deletion over.
      EXPECT_FALSE(PathExists(folder.LauncherArgsFile()));
    }
  }
}

TEST(Renamer, WaitsForTheLauncherWindowToGo) {
  ChildProcess window;
  ASSERT_TRUE(StartHelper(window, "helper_window", "pinfox_launcher 3000"));
  RenamerFolder folder;
  folder.Start("Talvenor.exe TalvNew.exe /P:pass");
  ASSERT_TRUE(WaitUntil([&] { return folder.Replaced(); }, kRunMs));
  EXPECT_EQ(FindWindowA("pinfox_launcher", nullptr), nullptr) << "replaced while the launcher window was open";
  folder.Finish();
  ASSERT_TRUE(WaitUntil([&] { return PathExists(folder.LauncherArgsFile()); }, 20000));
  EXPECT_EQ(ReadFileOr(folder.LauncherArgsFile()), "Talvenor.exe /P:pass");
}
