// The launcher self-update end to end, in host mode against the loopback servers: the
// patch information names a newer launcher, Talvenor.exe downloads it, hands it to renamer
// and ends with exit code 4; renamer replaces the executable once the launcher has gone.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <string>
#include <vector>

#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"
#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr std::uint32_t kRenamerMs = 60000;  // renamer's wait for the window, retries, self-deletion

bool Talvpack(const std::string& arguments) {
  ProcessResult r = RunProcess("\"" + BinPath("talvpack.exe") + "\" " + arguments, "", 120000);
  return r.finished && r.exitCode == 0;
}

// Whether a line begins with prefix: any message by default.
bool HasMessage(const HostSession& host, const std::string& prefix = "message : ") {
  for (const auto& line : host.Lines()) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

class LauncherUpdateRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(1, {{"data\\a.txt", "one"}})) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(2, {{"data\\a.txt", "two"}})) << game_.Why();
    ASSERT_TRUE(game_.Install(1));
    original_ = ReadFileOr(game_.LauncherPath());
    ASSERT_FALSE(original_.empty());
    // A launcher whose bytes differ from the installed one, so the replacement shows.
    newLauncher_ = original_ + "-- launcher build 206 --\r\n";
    ASSERT_TRUE(WriteFileBytes(scratch_ / "new_launcher.exe", newLauncher_));
  }

  // Publishes release `release` (game version) announcing launcherVersion into a fresh
  // server folder; withLauncher adds the new launcher and talvenor.txt. Returns the base URL.
  std::string Serve(int release, int launcherVersion, bool withLauncher, const std::string& filesHost = "") {
    const std::string name = "upd_" + std::to_string(TickMs()) + "_" + std::to_string(++served_);
    const std::string host = filesHost.empty() ? ServerEnv("TALV_HTTP_HOST") + ":80" : filesHost;
    EXPECT_TRUE(game_.Publish(release, WwwFolder(name), host + "/" + name,
                              "--launcher-version " + std::to_string(launcherVersion)));
    if (withLauncher) {
      EXPECT_TRUE(Talvpack("launcher --version " + std::to_string(launcherVersion) + " \"" +
                           scratch_ / "new_launcher.exe" + "\" \"" + WwwFolder(name) + "\""));
    }
    lastServer_ = name;
    return HttpBase(name);
  }

  int Run(const std::string& url, const std::string& options, HostSession& host) {
    EXPECT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + url + options, game_.GameDir()));
    return host.Finish();
  }

  std::string GameFile(const std::string& name) const { return game_.GameDir() + "\\" + name; }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  std::string original_;
  std::string newLauncher_;
  std::string lastServer_;
  int served_ = 0;
};

TEST_F(LauncherUpdateRun, NewerOrForcedLauncherIsHandedToRenamerWhichReplacesTheExecutable) {
  struct Case {
    int launcherVersion;
    const char* options;
  } cases[] = {{206, ""}, {205, " force_updatelauncher"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.launcherVersion);
    ASSERT_TRUE(game_.Install(1));  // a fresh game folder for each case
    const std::string url = Serve(1, c.launcherVersion, true);
    HostSession host;
    EXPECT_EQ(Run(url, c.options, host), 4) << host.RawOutput();
    EXPECT_EQ(host.Result(), "2");
    EXPECT_FALSE(HasMessage(host)) << host.RawOutput();

    // renamer waits for the launcher's window to go, replaces the file and deletes itself.
    // (Launchers are compared whole: EXPECT_EQ would print a line diff of two programs,
    // which takes gigabytes.)
    EXPECT_TRUE(WaitUntil([&] { return ReadFileOr(game_.LauncherPath()) == newLauncher_; }, kRenamerMs));
    EXPECT_TRUE(WaitUntil([&] { return FilesMatching(game_.GameDir(), "ren*.exe").empty(); }, kRenamerMs));
    EXPECT_FALSE(PathExists(GameFile("Talvenor_" + std::to_string(c.launcherVersion) + ".exe")));
    EXPECT_EQ(FilesMatching(game_.GameDir(), "ren*.tmp").size(), 1u);
    EXPECT_EQ(game_.InstalledVersion(), 1);  // the update comes before any game patch

    // The replaced launcher patches the game as usual and clears renamer's placeholder.
    HostSession next;
    EXPECT_EQ(Run(Serve(2, 205, false), "", next), 0) << next.RawOutput();
    EXPECT_EQ(game_.InstalledVersion(), 2);
    EXPECT_TRUE(FilesMatching(game_.GameDir(), "ren*.tmp").empty());
    EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == newLauncher_);
  }
}

TEST_F(LauncherUpdateRun, SameVersionWithoutTheOptionDoesNotUpdate) {
  const std::string url = Serve(1, 205, true);
  HostSession host;
  EXPECT_EQ(Run(url, "", host), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1");
  EXPECT_EQ(host.RawOutput().find("Downloading launcher..."), std::string::npos);
  EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == original_);
  EXPECT_FALSE(PathExists(GameFile("Talvenor_205.exe")));
  EXPECT_TRUE(FilesMatching(game_.GameDir(), "ren*").empty());
}

TEST_F(LauncherUpdateRun, UnreachableUpdateServerFailsWithoutAMessage) {
  // Nothing listens on the discard port: every FTP connection attempt is refused.
  const std::string url = Serve(2, 206, true, "127.0.0.1:9");
  HostSession host;
  EXPECT_EQ(Run(url, "", host), 1) << host.RawOutput();
  EXPECT_EQ(host.Result(), "0");
  EXPECT_FALSE(HasMessage(host)) << host.RawOutput();
  EXPECT_EQ(game_.InstalledVersion(), 1);  // no game patch in that run either
  EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == original_);
}

TEST_F(LauncherUpdateRun, MissingLauncherManifestShowsMessage46) {
  const std::string url = Serve(1, 206, false);
  HostSession host;
  ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + url, game_.GameDir()));
  EXPECT_TRUE(host.WaitForLine("message : 46 : ", true)) << host.RawOutput();
  EXPECT_EQ(host.Finish(), 1) << host.RawOutput();
  EXPECT_EQ(host.Result(), "0");
  EXPECT_TRUE(FilesMatching(game_.GameDir(), "ren*").empty());
}

TEST_F(LauncherUpdateRun, LauncherWhoseDigestNeverMatchesIsFetchedFourTimesThenGivenUp) {
  const std::string url = Serve(1, 206, true);
  // The served file no longer matches talvenor.txt.
  ASSERT_TRUE(WriteFileBytes(WwwFolder(lastServer_) + "\\Talvenor_206.exe", original_));
  HostSession host;
  ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + url, game_.GameDir()));
  EXPECT_TRUE(host.WaitForLine("message : 46 : ", true)) << host.RawOutput();
  EXPECT_EQ(host.Finish(), 1) << host.RawOutput();
  EXPECT_EQ(host.Result(), "0");
  EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == original_);
  EXPECT_FALSE(PathExists(GameFile("Talvenor_206.exe")));
  EXPECT_TRUE(FilesMatching(game_.GameDir(), "ren*").empty());
  // Every download shows in the server's log.
  const std::string log = ReadFileOr(ServerEnv("TALV_NGINX_ACCESS_LOG_WIN"));
  const std::string request = "GET /" + lastServer_ + "/Talvenor_206.exe ";
  int downloads = 0;
  for (std::size_t at = log.find(request); at != std::string::npos; at = log.find(request, at + 1)) ++downloads;
  EXPECT_EQ(downloads, 4);
}

TEST_F(LauncherUpdateRun, StopDuringTheLauncherDownloadLeavesNoPartialLauncher) {
  if (ServerEnv("TALV_LINK_HOST").empty()) GTEST_SKIP() << "the link emulator is not running";
  // The launcher's files come through a slow link, so that the stop finds the download begun
  // and far from done.
  ASSERT_TRUE(SetLink(0, 256 * 1024));
  struct Unlimited {
    ~Unlimited() { SetLink(0, 0); }
  } unlimited;
  const std::string url = Serve(1, 206, true, ServerEnv("TALV_LINK_HOST") + ":80");
  const std::string download = GameFile("Talvenor_206.exe");
  HostSession host;
  ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + url, game_.GameDir()));
  ASSERT_TRUE(host.WaitForLine("text : Downloading launcher...")) << host.RawOutput();
  ASSERT_TRUE(WaitUntil([&] { return FileSize(download) > 0; }, 60000)) << "the download never began";
  EXPECT_LT(FileSize(download), newLauncher_.size()) << "the download ended before the stop";
  host.Send("cancel");
  EXPECT_EQ(host.Finish(), 2) << host.RawOutput();
  EXPECT_EQ(host.Result(), "-1");
  EXPECT_TRUE(HasMessage(host, "message : " + std::to_string(IDS_UPDATE_STOPPED) + " : "))
      << host.RawOutput();
  EXPECT_FALSE(PathExists(download));
  EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == original_);
  EXPECT_TRUE(FilesMatching(game_.GameDir(), "ren*").empty());
  EXPECT_EQ(game_.InstalledVersion(), 1);
}

}  // namespace
