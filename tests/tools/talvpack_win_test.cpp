// talvpack.exe under Wine publishes straight into the test web server's root; the launcher
// then fetches the patch information over HTTP and checks every published file against the
// manifest with its own readers.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/patch/patch_info.h"
#include "launcher/patch/version_info.h"
#include "launcher/transfer/file_digest.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"
#include "tests/transfer/served_folder.h"

TEST(TalvpackWin, PublishedTreeIsServedAndChecksOut) {
  if (!ServersAvailable()) GTEST_SKIP() << "test servers not running";
  ScopedTempDir game;
  CreateDirectoryA((game / "data").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(game / "client.exe", "MZ client"));
  ASSERT_TRUE(WriteFileBytes(game / "data\\big.pak", std::string(150000, 'p')));

  ServedFolder served;
  const std::string out = WwwRootWin() + "\\" + served.name() + "\\live";
  ProcessResult r = RunProcess("\"" + BinPath("talvpack.exe") + "\" publish --version 42 --login 10.0.0.1:6000 "
                               "--files-address " + served.Nginx("live/") + " --arg \"-a b\" \"" + game.path() +
                               "\" \"" + out + "\"");
  ASSERT_TRUE(r.finished);
  ASSERT_EQ(r.exitCode, 0u) << r.output;

  LogCapture log;
  CPatchInfo info;
  ASSERT_TRUE(info.Read(served.Nginx("live/patch_live.txt").c_str())) << log.Joined();
  EXPECT_EQ(info.patch_version, 42);
  EXPECT_EQ(std::string(info.ftp), served.Nginx("live/"));
  EXPECT_STREQ(info.arg, "-a b");

  CVersionInfo manifest;
  ASSERT_TRUE(manifest.ReadFromFile((out + "\\version.txt").c_str())) << log.Joined();
  ASSERT_EQ(manifest.GetCount(), 2u);
  EXPECT_STREQ(manifest.GetName(0), "client.exe");
  EXPECT_STREQ(manifest.GetName(1), "data\\big.pak");
  for (std::size_t i = 0; i < manifest.GetCount(); ++i) {
    EXPECT_EQ(manifest.GetUpdateVersion(i), 42);
    EXPECT_TRUE(CheckHashCode((out + "\\Talvenor\\" + manifest.GetName(i)).c_str(), manifest.GetHash(i)));
    EXPECT_TRUE(CheckHashCode((game / manifest.GetName(i)).c_str(), manifest.GetHash(i)));
  }
}
