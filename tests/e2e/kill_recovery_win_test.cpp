// A patch run killed at every change it makes to the game folder, and what the next start
// finds: with the server the new release exactly, without it the old one exactly (or the
// new one, once the version was written). Talvenor_killable.exe ends itself before its N-th
// change (TALV_KILL_AT_CHANGE=N).
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "launcher/transfer/md5.h"
#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr std::uint32_t kKilledExitCode = 77;

// About thirty files: kept, changed, added and removed ones, in subfolders.
SampleGame::Files Release(int version) {
  SampleGame::Files files;
  for (int i = 0; i < 18; ++i) files["data\\kept\\k" + std::to_string(i) + ".txt"] = "kept " + std::to_string(i);
  for (int i = 0; i < 5; ++i) {
    files["data\\changed\\c" + std::to_string(i) + ".bin"] = std::string(100 + i, 'a' + i) + std::to_string(version);
  }
  if (version == 1) {
    files["data\\gone\\g0.txt"] = "removed by release 2";
    files["g1.txt"] = "removed too";
  } else {
    files["data\\added\\a0.txt"] = "new in release 2";
    files["data\\added\\deep\\a1.bin"] = std::string(3000, 'z');
    files["a2.txt"] = "new at the top";
  }
  return files;
}

using Digests = std::map<std::string, std::string>;  // relative name -> MD5 in hex

Digests DigestsOf(const SampleGame::Files& files) {
  Digests digests;
  for (const auto& file : files) {
    unsigned char digest[kMd5DigestSize];
    MD5Digest(file.second.data(), file.second.size(), digest);
    char hex[2 * kMd5DigestSize + 1];
    for (std::size_t i = 0; i < kMd5DigestSize; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    digests[file.first] = hex;
  }
  return digests;
}

// The game folder as the player would look at it; a folder of downloads left by a run killed
// before its moves is not part of the game.
Digests GameFiles(const SampleGame& game, bool withDownloads) {
  SampleGame::Files files = game.Snapshot();
  if (!withDownloads) {
    for (auto it = files.begin(); it != files.end();) it = it->first.rfind("patch\\", 0) == 0 ? files.erase(it) : ++it;
  }
  return DigestsOf(files);
}

Digests Installed(const SampleGame& game, int version) {
  SampleGame::Files files = game.ReleaseFiles(version);
  files["version.dat"] = std::string(1, static_cast<char>(version)) + std::string(3, '\0');
  return DigestsOf(files);
}

class KillAtEveryChange : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(1, Release(1))) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(2, Release(2))) << game_.Why();
    server_ = "kill_" + std::to_string(TickMs());
    ASSERT_TRUE(game_.Publish(2, WwwFolder(server_), ServerEnv("TALV_HTTP_HOST") + ":80/" + server_));
  }

  void TearDown() override { SetEnvironmentVariableA("TALV_KILL_AT_CHANGE", nullptr); }

  // One host-mode run of the killable launcher; killAt 0 lets it run to its end.
  std::uint32_t Run(const std::string& patchUrl, int killAt, HostSession* host) {
    SetEnvironmentVariableA("TALV_KILL_AT_CHANGE", killAt > 0 ? std::to_string(killAt).c_str() : nullptr);
    EXPECT_TRUE(host->Start(game_.LauncherPath(), "patchurl:" + patchUrl, game_.GameDir()));
    return static_cast<std::uint32_t>(host->Finish());
  }

  void InstallRelease1() {
    ASSERT_TRUE(game_.Install(1));
    ASSERT_TRUE(CopyFileA(BinPath("Talvenor_killable.exe").c_str(), game_.LauncherPath().c_str(), FALSE));
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  std::string server_;
};

TEST_F(KillAtEveryChange, TheNextStartFindsTheOldOrTheNewRelease) {
  const std::string patchUrl = HttpBase(server_);
  const std::string unreachable = "http://127.0.0.1:9/" + server_;  // nothing listens on the discard port
  const std::string saved = scratch_ / "killed";
  const Digests oldRelease = Installed(game_, 1);
  const Digests newRelease = Installed(game_, 2);
  // TALV_KILL_FROM starts the loop later, to look at one moment again.
  const char* from = std::getenv("TALV_KILL_FROM");
  int killAt = from != nullptr ? std::atoi(from) : 1;
  for (;; ++killAt) {
    SCOPED_TRACE("killed before change " + std::to_string(killAt));
    std::printf("kill at change %d\n", killAt);
    InstallRelease1();
    HostSession killed;
    const std::uint32_t code = Run(patchUrl, killAt, &killed);
    if (code != kKilledExitCode) {
      // The run made fewer changes than killAt: it is the whole run, untouched.
      EXPECT_EQ(code, 0u) << killed.RawOutput();
      EXPECT_EQ(GameFiles(game_, true), newRelease);
      break;
    }
    const bool versionWritten = game_.InstalledVersion() == 2;
    RemoveTree(saved);
    CopyTree(game_.GameDir(), saved);

    HostSession again;
    EXPECT_EQ(Run(patchUrl, 0, &again), 0u) << again.RawOutput();
    EXPECT_EQ(again.Result(), "1");
    EXPECT_EQ(GameFiles(game_, true), newRelease);

    RemoveTree(game_.GameDir());
    CopyTree(saved, game_.GameDir());
    HostSession offline;
    EXPECT_EQ(Run(unreachable, 0, &offline), 1u) << offline.RawOutput();
    EXPECT_EQ(GameFiles(game_, false), versionWritten ? newRelease : oldRelease);
    if (HasFailure()) break;  // one killed state at a time is enough to read
  }
  EXPECT_GT(killAt, 40);  // every file's download, move and removal was a kill point
}

}  // namespace
