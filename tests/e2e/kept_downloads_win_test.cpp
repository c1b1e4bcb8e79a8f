// End-to-end runs of Talvenor.exe in host mode whose download is cut (the launcher killed as
// a player would, half way through a large file) and the run after it: what arrived stays
// in the temporary folder and only the rest travels, as nginx's access log tells.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr std::size_t kBigSize = 60 * 1024 * 1024;
constexpr int kCutRate = 8 * 1024 * 1024;  // bytes per second: a cut point the test can see

// 60 MB that differ at every offset and per release, so that bytes resumed at a wrong place
// cannot pass the digest check.
std::string BigContent(int release) {
  std::string content(kBigSize, '\0');
  for (std::size_t i = 0; i < kBigSize; ++i) {
    content[i] = static_cast<char>((i * 131 + (i >> 12) * 7 + static_cast<std::size_t>(release) * 17) & 0xff);
  }
  return content;
}

SampleGame::Files Release(int release) {
  return {{"data\\a.txt", "small file of release " + std::to_string(release)},
          {"data\\big.bin", BigContent(release)},
          {"data\\same.txt", "unchanged"}};
}

std::string UniqueName(const char* stem) { return std::string(stem) + "_" + std::to_string(TickMs()); }

// One line of nginx's access log for a file: its status and the body bytes it sent.
struct Served {
  int status = 0;
  std::uint64_t bytes = 0;
};

std::vector<Served> ServedFile(const std::string& accessLog, std::size_t fromLine, const std::string& path) {
  std::vector<Served> served;
  const std::vector<std::string> lines = FileLines(accessLog);
  const std::string wanted = "\"GET " + path + " ";
  for (std::size_t i = fromLine; i < lines.size(); ++i) {
    const std::size_t at = lines[i].find(wanted);
    if (at == std::string::npos) continue;
    const std::size_t quote = lines[i].find('"', at + 1);
    Served s;
    unsigned long long bytes = 0;
    if (quote != std::string::npos && std::sscanf(lines[i].c_str() + quote + 1, " %d %llu", &s.status, &bytes) == 2) {
      s.bytes = bytes;
    }
    served.push_back(s);
  }
  return served;
}

std::vector<std::string> LauncherLog() { return FileLines(LauncherLogFolder() + "\\launcher_log.txt"); }

bool Logged(const std::string& line) {
  const std::vector<std::string> log = LauncherLog();
  return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(line) != std::string::npos; });
}

class KeptDownloads : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable() || ServerEnv("TALV_LINK_HOST").empty()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(1, Release(1))) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(2, Release(2))) << game_.Why();
  }
  void TearDown() override { SetLink(0, 0); }

  // Publishes `release` under a fresh name, the files through the link emulator.
  std::string Publish(int release, const std::string& extra) {
    server_ = UniqueName("kept");
    EXPECT_TRUE(game_.Publish(release, WwwFolder(server_), ServerEnv("TALV_LINK_HOST") + ":80/" + server_, extra))
        << game_.Why();
    return HttpBase(server_);
  }
  std::string BigPath() const { return "/" + server_ + "/Talvenor/data/big.bin"; }
  std::string KeptBig() const { return game_.GameDir() + "\\patch\\data\\big.bin"; }

  // A run killed once the big file's download in the temporary folder passed `fraction`;
  // returns the bytes it left there. The access log is then past the cut request.
  std::uint64_t RunCutAt(const std::string& patchUrl, double fraction) {
    EXPECT_TRUE(SetLink(0, kCutRate));
    const std::size_t logged = FileLines(accessLog_).size();
    {
      HostSession killed;
      EXPECT_TRUE(killed.Start(game_.LauncherPath(), "patchurl:" + patchUrl, game_.GameDir()));
      const std::uint64_t cut = static_cast<std::uint64_t>(fraction * kBigSize);
      EXPECT_TRUE(WaitUntil([&] { return FileSize(KeptBig()) >= cut; }, 180000)) << killed.RawOutput();
    }  // killed here, mid-transfer
    // nginx logs the cut request once the link closed it; the next run's lines come after it.
    EXPECT_TRUE(WaitUntil([&] { return !ServedFile(accessLog_, logged, BigPath()).empty(); }, 30000));
    logged_ = FileLines(accessLog_).size();
    EXPECT_TRUE(SetLink(0, 0));
    const std::string record = ReadFileOr(game_.GameDir() + "\\patch\\downloads.txt");
    EXPECT_NE(record.find("part data\\big.bin\t62914560\t"), std::string::npos) << record;
    EXPECT_NE(record.find("done data\\a.txt\t"), std::string::npos) << record;
    return FileSize(KeptBig());
  }

  int RunToTheEnd(const std::string& patchUrl) {
    host_ = std::make_unique<HostSession>();
    EXPECT_TRUE(host_->Start(game_.LauncherPath(), "patchurl:" + patchUrl, game_.GameDir()));
    return host_->Finish(600000);
  }

  void ExpectPatched(int release) {
    EXPECT_EQ(host_->Result(), "1") << host_->RawOutput();
    SampleGame::Files files = game_.ReleaseFiles(release);
    files["version.dat"] = std::string(1, static_cast<char>(release)) + std::string(3, '\0');
    EXPECT_TRUE(game_.Snapshot() == files);  // 60 MB: no dump of the difference
    EXPECT_EQ(game_.InstalledVersion(), release);
    EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
  }

  // Cut at about 30, 60 and 90 %: the next run asks for the big file once, for exactly the
  // bytes it lacks, and not at all for the small file that had arrived whole.
  void FetchesOnlyTheRest(const std::string& extra) {
    const std::string patchUrl = Publish(2, extra);
    for (const double fraction : {0.3, 0.6, 0.9}) {
      SCOPED_TRACE(fraction);
      ASSERT_TRUE(game_.Install(1));
      const std::uint64_t kept = RunCutAt(patchUrl, fraction);
      ASSERT_GT(kept, 0u);
      ASSERT_LT(kept, kBigSize);
      EXPECT_EQ(RunToTheEnd(patchUrl), 0) << host_->RawOutput();
      ExpectPatched(2);
      std::vector<Served> served;
      EXPECT_TRUE(WaitUntil([&] { return !(served = ServedFile(accessLog_, logged_, BigPath())).empty(); }, 10000));
      ASSERT_EQ(served.size(), 1u);
      EXPECT_EQ(served[0].status, 206);
      EXPECT_EQ(served[0].bytes, kBigSize - kept);
      EXPECT_TRUE(ServedFile(accessLog_, logged_, "/" + server_ + "/Talvenor/data/a.txt").empty());
      EXPECT_TRUE(Logged("Kept download resumed : data\\big.bin"));
      EXPECT_TRUE(Logged("Kept download verified : data\\a.txt"));
      if (HasFailure()) break;
    }
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  std::unique_ptr<HostSession> host_;
  std::string server_;
  const std::string accessLog_ = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  std::size_t logged_ = 0;
};

TEST_F(KeptDownloads, TheNextRunFetchesOnlyTheRest) { FetchesOnlyTheRest(""); }

TEST_F(KeptDownloads, TheNextRunFetchesOnlyTheRestWithSeveralTransfers) { FetchesOnlyTheRest("--connections 4"); }

// The server's release changed the big file between the runs: the kept part is of another
// digest, so it goes and the file travels whole.
TEST_F(KeptDownloads, AKeptFileOfAnotherDigestIsFetchedWhole) {
  ASSERT_TRUE(game_.Install(1));
  const std::string first = Publish(2, "");
  const std::uint64_t kept = RunCutAt(first, 0.5);
  ASSERT_GT(kept, 0u);
  SampleGame::Files release3 = Release(3);
  ASSERT_TRUE(game_.AddRelease(3, release3)) << game_.Why();
  const std::string second = Publish(3, "");
  EXPECT_EQ(RunToTheEnd(second), 0) << host_->RawOutput();
  ExpectPatched(3);
  std::vector<Served> served;
  EXPECT_TRUE(WaitUntil([&] { return !(served = ServedFile(accessLog_, logged_, BigPath())).empty(); }, 10000));
  ASSERT_EQ(served.size(), 1u);
  EXPECT_EQ(served[0].status, 200);
  EXPECT_EQ(served[0].bytes, kBigSize);
  EXPECT_TRUE(Logged("Kept download removed : data\\big.bin"));
  // The small file changed too: its kept copy of release 2 is no use either.
  EXPECT_EQ(ServedFile(accessLog_, logged_, "/" + server_ + "/Talvenor/data/a.txt").size(), 1u);
}

}  // namespace
