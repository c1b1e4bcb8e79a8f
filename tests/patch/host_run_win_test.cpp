// End-to-end runs of Talvenor.exe in host mode against the loopback servers.
#include <gtest/gtest.h>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

class HostRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
  }
};

}  // namespace

TEST_F(HostRun, PatchesOverHttpAndStartsTheClient) {
  ScopedTempDir scratch;
  SampleGame game(scratch.path());
  ASSERT_TRUE(game.AddRelease(1, {{"data\\a.txt", "one"}, {"data\\gone.txt", "old"}, {"package\\x.pack", "p"}}));
  ASSERT_TRUE(game.AddRelease(2, {{"data\\a.txt", "two"}, {"data\\b.txt", "new"}}));
  const std::string server = "smoke_" + std::to_string(TickMs());
  ASSERT_TRUE(game.Publish(2, WwwFolder(server), ServerEnv("TALV_HTTP_HOST") + ":80/" + server));
  ASSERT_TRUE(game.Install(1));

  HostSession host;
  ASSERT_TRUE(host.Start(game.LauncherPath(), "play patchurl:" + HttpBase(server), game.GameDir()));
  EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1");
  EXPECT_EQ(game.InstalledVersion(), 2);
  SampleGame::Files files = game.Snapshot();
  EXPECT_EQ(files["data\\a.txt"], "two");
  EXPECT_EQ(files["data\\b.txt"], "new");
  EXPECT_EQ(files.count("data\\gone.txt"), 0u);
  EXPECT_EQ(files.count("package\\x.pack"), 0u);
  EXPECT_FALSE(PathExists(game.GameDir() + "\\patch"));
  EXPECT_NE(ReadFileOr(game.GameDir() + "\\client.exe.cmdline").find(" code:1622 ver:2 logip:127.0.0.1:11000 "),
            std::string::npos);
}
