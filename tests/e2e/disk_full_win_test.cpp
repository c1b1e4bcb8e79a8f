// A game on a small volume (an 8 MB tmpfs the ctest fixture mounts at build/small-disk):
// a run that cannot fit says so with string 73 before it fetches anything, and a disk that
// fills during the run ends it with 73 and the game as it was.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

std::string Names(const SampleGame::Files& files) {
  std::string names;
  for (const auto& file : files) names += file.first + " (" + std::to_string(file.second.size()) + ") ";
  return names;
}

const SampleGame::Files kRelease1 = {{"data\\a.txt", "one"}, {"data\\keep.txt", "kept"}};

class DiskFull : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    const char* build = std::getenv("TALV_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    disk_ = std::string("Z:") + build + "/small-disk";
    std::replace(disk_.begin(), disk_.end(), '/', '\\');
    ULARGE_INTEGER total = {};
    if (!GetDiskFreeSpaceExA(disk_.c_str(), nullptr, &total, nullptr) || total.QuadPart > 64u * 1024 * 1024) {
      GTEST_SKIP() << "no small volume is mounted at " << disk_ << " (mount needs root)";
    }
    onDisk_ = std::make_unique<SampleGame>(disk_);
    RemoveTree(onDisk_->GameDir());
    ASSERT_TRUE(releases_.AddRelease(1, kRelease1)) << releases_.Why();
  }
  void TearDown() override {
    if (!onDisk_) return;
    RemoveTree(onDisk_->GameDir());
    RemoveTree(disk_ + "\\releases");
    DeleteFileA((disk_ + "\\filler.bin").c_str());
  }

  // Release 2 adds big.bin of `size` bytes; the game is release 1 on the small disk.
  std::string Publish(std::size_t size, const std::string& filesHost, const std::string& options = "") {
    SampleGame::Files release2 = kRelease1;
    release2["data\\a.txt"] = "two";
    release2["data\\big.bin"] = std::string(size, 'b');
    EXPECT_TRUE(releases_.AddRelease(2, release2)) << releases_.Why();
    EXPECT_TRUE(releases_.Install(1));
    CopyTree(releases_.GameDir(), onDisk_->GameDir());
    DeleteFileA(onDisk_->LauncherPath().c_str());  // the launcher runs from the build
    EXPECT_TRUE(WriteVersionFile(onDisk_->GameDir(), 1));
    EXPECT_EQ(ReadFileOr(onDisk_->GameDir() + "\\version.dat").size(), 4u);
    server_ = "disk_" + std::to_string(TickMs());
    EXPECT_TRUE(releases_.Publish(2, WwwFolder(server_), filesHost + server_, options));
    return HttpBase(server_);
  }

  // Fills the small disk while big.bin comes; the run must end with 73 and release 1.
  void FillDuringTheRun(const std::string& options) {
    // Downloads slowed by the fault server, so the disk can be filled while big.bin comes.
    const std::string patchUrl = Publish(2 * 1024 * 1024, ServerEnv("TALV_FAULT_HOST") + ":80/slow/65536/100/", options);
    HostSession host;
    ASSERT_TRUE(host.Start(BinPath("Talvenor.exe"), "patchurl:" + patchUrl, onDisk_->GameDir()));
    // The panel names the file that started last, which under several transfers may not be
    // big.bin: its first bytes in the temporary folder tell that it is coming. The launcher
    // holds the file open without sharing it, so only its size can be looked at.
    const std::string partial = onDisk_->GameDir() + "\\patch\\data\\big.bin";
    ASSERT_TRUE(WaitUntil([&] { return FileSize(partial) > 0; }, 60000)) << host.RawOutput();
    ULARGE_INTEGER free = {};
    ASSERT_TRUE(GetDiskFreeSpaceExA(disk_.c_str(), &free, nullptr, nullptr));
    // Whatever part of it fits: the disk is full afterwards either way.
    WriteFileBytes(disk_ + "\\filler.bin", std::string(static_cast<std::size_t>(free.QuadPart), 'f'));
    EXPECT_EQ(host.Finish(), 1) << host.RawOutput();
    ExpectRelease1(host);
  }

  void ExpectRelease1(const HostSession& host) {
    EXPECT_EQ(host.Result(), "0");
    EXPECT_NE(std::find_if(host.Lines().begin(), host.Lines().end(),
                           [](const std::string& l) { return l.rfind("message : 73 : ", 0) == 0; }),
              host.Lines().end())
        << host.RawOutput();
    SampleGame::Files files = releases_.ReleaseFiles(1);
    files["version.dat"] = std::string("\x01\x00\x00\x00", 4);
    const SampleGame::Files found = onDisk_->Snapshot();
    EXPECT_TRUE(found == files) << Names(found) << " instead of " << Names(files);
  }

  ScopedTempDir scratch_;
  SampleGame releases_{scratch_.path()};
  std::string disk_;
  std::unique_ptr<SampleGame> onDisk_;  // the game's folder on the small disk
  std::string server_;
};

TEST_F(DiskFull, ARunThatCannotFitChangesNothing) {
  const std::string patchUrl = Publish(10 * 1024 * 1024, ServerEnv("TALV_HTTP_HOST") + ":80/");
  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  HostSession host;
  ASSERT_TRUE(host.Start(BinPath("Talvenor.exe"), "patchurl:" + patchUrl, onDisk_->GameDir()));
  EXPECT_EQ(host.Finish(), 1) << host.RawOutput();
  ExpectRelease1(host);
  EXPECT_FALSE(PathExists(onDisk_->GameDir() + "\\patch"));
  for (const std::string& line : FileLines(accessLog)) {
    EXPECT_EQ(line.find("/" + server_ + "/Talvenor/"), std::string::npos) << "fetched before the check: " << line;
  }
}

TEST_F(DiskFull, ADiskThatFillsDuringTheRunEndsItWithTheGameAsItWas) { FillDuringTheRun(""); }

TEST_F(DiskFull, ADiskThatFillsUnderSeveralTransfersEndsItWithTheGameAsItWas) { FillDuringTheRun("--connections 4"); }

}  // namespace
