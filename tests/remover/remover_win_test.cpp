// talvremover run like the launcher starts it: from a copy with a temporary-file name in
// the temporary folder, its command line the launcher's full path, unquoted.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/win_test_util.h"

namespace {

constexpr std::uint32_t kSelfDeleteMs = 15000;

class RemoverRun {
 public:
  RemoverRun() { EXPECT_TRUE(CopyFileA(BinPath("talvremover.exe").c_str(), remover_.c_str(), FALSE)); }

  const ScopedTempDir& dir() const { return dir_; }

  // Runs the remover on path; true when it ended within timeoutMs with exit code 0 and
  // its own executable was gone afterwards.
  bool Run(const std::string& path, std::uint32_t timeoutMs) {
    ChildProcess process;
    if (!process.Start("\"" + remover_ + "\" " + path, dir_.path())) return false;
    std::uint32_t code = 1;
    if (!process.Wait(timeoutMs, &code)) {
      ADD_FAILURE() << "talvremover still running after " << timeoutMs << " ms";
      return false;
    }
    EXPECT_EQ(code, 0u);
    bool gone = WaitUntil([&] { return !PathExists(remover_); }, kSelfDeleteMs);
    EXPECT_TRUE(gone) << "talvremover's executable is still there";
    return code == 0 && gone;
  }

 private:
  ScopedTempDir dir_;
  std::string remover_ = dir_ / "tal1A2B.tmp";
};

}  // namespace

TEST(Remover, PathThatNeverExistedEndsAtOnce) {
  RemoverRun run;
  // Each retry loop would take ten seconds; nothing to remove ends both at once.
  EXPECT_TRUE(run.Run(run.dir() / "gone\\Talvenor.exe", 8000));
  EXPECT_FALSE(PathExists(run.dir() / "gone"));
}

TEST(Remover, DeletesTheLauncherOnceReleasedAndItsEmptyFolder) {
  RemoverRun run;
  const std::string folder = run.dir() / "My Game";  // the launcher's path is not quoted
  const std::string launcher = folder + "\\Talvenor.exe";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(launcher, "launcher"));
  ChildProcess holder;
  ASSERT_TRUE(StartHelper(holder, "hold_file", "\"" + launcher + "\" 2000"));
  EXPECT_TRUE(run.Run(launcher, 30000));
  EXPECT_TRUE(holder.Wait(0));
  EXPECT_FALSE(PathExists(launcher));
  EXPECT_FALSE(PathExists(folder));
}

TEST(Remover, FolderWithOtherFilesStays) {
  RemoverRun run;
  const std::string folder = run.dir() / "game";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(folder + "\\Talvenor.exe", "launcher"));
  ASSERT_TRUE(WriteFileBytes(folder + "\\data.pak", "data"));
  EXPECT_TRUE(run.Run(folder + "\\Talvenor.exe", 30000));
  EXPECT_FALSE(PathExists(folder + "\\Talvenor.exe"));
  EXPECT_EQ(ReadFileOr(folder + "\\data.pak"), "data");
}
