// End-to-end runs of Talvenor.exe in host mode against the loopback servers: what a patch
// run leaves in the game folder, the server and the log, for good runs and failed ones.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <regex>

#include "launcher/core/registry.h"
#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

const SampleGame::Files kVersion1 = {{"data\\a.txt", "one"},          {"data\\same.txt", "keep"},
                                     {"data\\z.txt", "last one"},     {"data\\gone.txt", "old"},
                                     {"package\\x.pack", "packed"}};
const SampleGame::Files kVersion2 = {{"data\\a.txt", "two"},
                                     {"data\\same.txt", "keep"},
                                     {"data\\z.txt", "last two"},
                                     {"data\\b.txt", "new"},
                                     {"data\\sub\\c.bin", std::string("\x00\x01\xff\r\n", 5) + std::string(5000, 'c')},
                                     {"data\\big.bin", std::string(100000, 'b') + "end"}};

std::string UniqueName(const char* stem) { return std::string(stem) + "_" + std::to_string(TickMs()); }

bool HasLinePrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

std::size_t CountLinesWith(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

class HostRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(1, kVersion1)) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(2, kVersion2)) << game_.Why();
    ASSERT_TRUE(game_.Install(1));
  }

  // Publishes release 2 over HTTP under a fresh folder name; returns the patch address.
  std::string PublishHttp(const std::string& filesHost = "", const std::string& extra = "") {
    server_ = UniqueName("run");
    const std::string host = filesHost.empty() ? ServerEnv("TALV_HTTP_HOST") + ":80/" + server_ : filesHost + server_;
    EXPECT_TRUE(game_.Publish(2, WwwFolder(server_), host, extra));
    return HttpBase(server_);
  }

  int Run(const std::string& patchUrl, const std::string& options = "") {
    EXPECT_TRUE(host_.Start(game_.LauncherPath(), options + "patchurl:" + patchUrl, game_.GameDir()));
    return host_.Finish();
  }

  // A run that ended early keeps only its record of downloads and the files it names (and
  // before may hold what an earlier run kept).
  void ExpectUntouched(const SampleGame::Files& before) {
    bool onlyKept = false;
    bool keptBefore = false;
    EXPECT_EQ(OutsideKeptDownloads(game_.Snapshot(), &onlyKept), OutsideKeptDownloads(before, &keptBefore));
    EXPECT_TRUE(onlyKept);
    EXPECT_EQ(game_.InstalledVersion(), 1);
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  HostSession host_;
  std::string server_;
};

// Release 2 with the bookkeeping a run adds: the version file.
SampleGame::Files Patched(const SampleGame& game) {
  SampleGame::Files files = game.ReleaseFiles(2);
  files["version.dat"] = std::string("\x02\x00\x00\x00", 4);
  return files;
}

class HostPatch : public HostRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(HostPatch, BringsTheGameToTheLatestRelease) {
  std::string patchUrl;
  if (std::string(GetParam()) == "http") {
    patchUrl = PublishHttp();
  } else {
    // patch_live.txt stays on the web server; the files come from the FTP server.
    server_ = UniqueName("ftp");
    const std::string files =
        ServerEnv("TALV_FTP_USER") + ":" + ServerEnv("TALV_FTP_PASSWORD") + "@" + ServerEnv("TALV_FTP_HOST") + ":21/" + server_;
    ASSERT_TRUE(game_.Publish(2, WwwFolder(server_), files));
    ASSERT_TRUE(game_.Publish(2, FtpFolder(server_), files));
    RemoveTree(WwwFolder(server_) + "\\Talvenor");
    DeleteFileA((WwwFolder(server_) + "\\version.txt").c_str());
    patchUrl = HttpBase(server_);
  }
  ASSERT_TRUE(WriteFileBytes(game_.GameDir() + "\\ren1A2B.tmp", "left by an update"));
  const std::string logCopy = LauncherLogFolder() + "\\launcher_log_1_to_2.txt";
  DeleteFileA(logCopy.c_str());

  EXPECT_EQ(Run(patchUrl, "play "), 0) << host_.RawOutput();
  EXPECT_EQ(host_.Result(), "1");
  // Byte for byte the published release: gone.txt, the .pack and ren*.tmp are removed.
  EXPECT_EQ(game_.Snapshot(), Patched(game_));
  EXPECT_EQ(game_.InstalledVersion(), 2);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
  EXPECT_TRUE(PathExists(logCopy));
  const std::string record = RegQuery("HKCU\\Software\\Orvex\\Talvenor", "Files");
  const std::string folder = scratch_.path().substr(scratch_.path().rfind('\\') + 1);
  EXPECT_NE(record.find(folder + "*"), std::string::npos) << record;
  EXPECT_NE(record.find("b.txt*%"), std::string::npos) << record;
  EXPECT_NE(record.find("c.bin*%"), std::string::npos) << record;
  // The launcher may be gone before the client it started has written its record.
  const std::string cmdline = game_.GameDir() + "\\client.exe.cmdline";
  ASSERT_TRUE(WaitUntil([&] { return !ReadFileOr(cmdline).empty(); }, 30000));
  EXPECT_NE(ReadFileOr(cmdline).find(" code:1622 ver:2 logip:127.0.0.1:11000 "), std::string::npos);
  // The same registrations as a run through the dialog: the lobby entry and the client's
  // browser emulation.
  EXPECT_NE(RegQuery("HKCU\\Software\\Orvex\\Talvenor", "Guid").find("{DC162314-2E40-49b4-A5E2-B26390179CC4}"),
            std::string::npos);
  EXPECT_NE(RegQuery("HKCU\\" + std::string(kBrowserEmulationKey), "client.exe").find("REG_DWORD"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Transports, HostPatch, ::testing::Values("http", "ftp"));

TEST_F(HostRun, InstalledVersionAgainstTheLatest) {
  // Release 2 is the latest: 2 and 3 are current, 4 asks for a reinstallation.
  struct Case {
    int installed;
    int exitCode;
    const char* result;
    const char* message;
  };
  const Case cases[] = {{2, 0, "1", nullptr}, {3, 0, "1", nullptr}, {4, 3, "3", "message : 1084 : "}};
  const std::string patchUrl = PublishHttp();
  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installed);
    ASSERT_TRUE(WriteVersionFile(game_.GameDir(), c.installed));
    const SampleGame::Files before = game_.Snapshot();
    const std::size_t logged = FileLines(accessLog).size();
    HostSession host;
    ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + patchUrl, game_.GameDir()));
    EXPECT_EQ(host.Finish(), c.exitCode) << host.RawOutput();
    EXPECT_EQ(host.Result(), c.result);
    if (c.message != nullptr) {
      EXPECT_TRUE(HasLinePrefix(host.Lines(), c.message)) << host.RawOutput();
    }
    EXPECT_EQ(game_.Snapshot(), before);
    // Only the patch information was asked for: no connection to the file server.
    auto newLines = [&] {
      std::vector<std::string> lines = FileLines(accessLog);
      lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(logged, lines.size())));
      return lines;
    };
    // nginx logs a request once its reply is out, which may be after the launcher ended.
    EXPECT_TRUE(WaitUntil([&] { return CountLinesWith(newLines(), "/" + server_ + "/patch_live.txt ") == 1; }, 5000));
    EXPECT_EQ(CountLinesWith(newLines(), "/" + server_ + "/"), 1u);
  }
}

TEST_F(HostRun, BlockedServiceRefusesPlay) {
  const SampleGame::Files before = game_.Snapshot();
  const std::string patchUrl = PublishHttp("", "--block-start 20000101000000 --block-end 20991231235959");
  EXPECT_EQ(Run(patchUrl, "play "), 3) << host_.RawOutput();
  EXPECT_EQ(host_.Result(), "3");
  EXPECT_TRUE(HasLinePrefix(host_.Lines(), "message : 31 : ")) << host_.RawOutput();
  ExpectUntouched(before);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\client.exe.cmdline"));
}

TEST_F(HostRun, DigestThatNeverMatchesFailsAfterFourCycles) {
  const SampleGame::Files before = game_.Snapshot();
  const std::string patchUrl = PublishHttp();
  // The served file is not the one the manifest describes.
  ASSERT_TRUE(WriteFileBytes(WwwFolder(server_) + "\\Talvenor\\data\\b.txt", "not what the manifest says"));
  EXPECT_EQ(Run(patchUrl), 1) << host_.RawOutput();
  EXPECT_EQ(host_.Result(), "0");
  EXPECT_TRUE(HasLinePrefix(host_.Lines(), "message : 46 : ")) << host_.RawOutput();
  EXPECT_EQ(CountLinesWith(FileLines(LauncherLogFolder() + "\\launcher_log.txt"), "\\b.txt\" is currupted."), 4u);
  ExpectUntouched(before);
}

// Transfers of a file whose digest never matches: each of the 4 cycles downloads it, and
// once more after the mismatch, after a pause and "Retry Downloading file" with the entry's
// name. Over HTTP a cycle first tries to resume the whole wrong file the last one left; the
// server refuses (416), and only that try is made again at once, with the remote name.
// (data\\a.txt is the first download: the run ends there.)
TEST_F(HostRun, TransfersOfAFileWhoseDigestNeverMatches) {
  struct Case {
    const char* transport;
    std::size_t remoteRetries;
  };
  for (const Case& c : {Case{"http", 3}, Case{"ftp", 0}}) {
    const std::string transport = c.transport;
    SCOPED_TRACE(transport);
    server_ = UniqueName("count");
    std::string files = ServerEnv("TALV_HTTP_HOST") + ":80/" + server_;
    std::string countIn = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
    std::string request = "/" + server_ + "/Talvenor/data/a.txt HTTP/1.1\" 200 ";  // whole transfers
    if (transport == "ftp") {
      // The fault FTP server serves normally here and logs every command.
      files = "any:any@" + ServerEnv("TALV_FAULT_HOST") + ":21/" + server_;
      ASSERT_TRUE(game_.Publish(2, FtpFolder(server_), files));
      ASSERT_TRUE(WriteFileBytes(FtpFolder(server_) + "\\Talvenor\\data\\a.txt", "not what the manifest says"));
      countIn = ServerEnv("TALV_FTP_ROOT_WIN") + "\\..\\fault-ftp.log";
      request = " RETR Talvenor/data/a.txt";
    }
    ASSERT_TRUE(game_.Publish(2, WwwFolder(server_), files));
    ASSERT_TRUE(WriteFileBytes(WwwFolder(server_) + "\\Talvenor\\data\\a.txt", "not what the manifest says"));
    const SampleGame::Files before = game_.Snapshot();
    const std::size_t logged = CountLinesWith(FileLines(countIn), request);
    const std::string log = LauncherLogFolder() + "\\launcher_log.txt";
    DeleteFileA(log.c_str());
    HostSession host;
    ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(server_), game_.GameDir()));
    EXPECT_EQ(host.Finish(), 1) << host.RawOutput();
    EXPECT_TRUE(HasLinePrefix(host.Lines(), "message : 46 : ")) << host.RawOutput();
    auto transfers = [&] { return CountLinesWith(FileLines(countIn), request) - logged; };
    EXPECT_TRUE(WaitUntil([&] { return transfers() >= 8; }, 5000));  // nginx logs once its reply is out
    EXPECT_EQ(transfers(), 8u);
    const std::vector<std::string> lines = FileLines(log);
    EXPECT_EQ(CountLinesWith(lines, "Retry Downloading file : data\\a.txt"), 4u);
    EXPECT_EQ(CountLinesWith(lines, "Retry Downloading file : Talvenor/data\\a.txt"), c.remoteRetries);
    EXPECT_EQ(CountLinesWith(lines, "Fail to GetFile : "), 0u);
    EXPECT_EQ(CountLinesWith(lines, "\\a.txt\" is currupted."), 4u);
    ExpectUntouched(before);
  }
}

TEST_F(HostRun, TransferCutOffMidwayIsResumed) {
  // The fault server closes every reply after 40,000 bytes: big.bin arrives in three
  // resumed pieces, the small files whole.
  const std::string patchUrl = PublishHttp(ServerEnv("TALV_FAULT_HOST") + ":80/cut/40000/");
  const std::string requests = ServerEnv("TALV_WWW_ROOT_WIN") + "\\..\\fault-requests.log";
  EXPECT_EQ(Run(patchUrl), 0) << host_.RawOutput();
  EXPECT_EQ(host_.Result(), "1");
  EXPECT_EQ(game_.Snapshot(), Patched(game_));
  EXPECT_EQ(CountLinesWith(FileLines(requests), "/" + server_ + "/Talvenor/data/big.bin bytes=40000-"), 1u);
  EXPECT_EQ(CountLinesWith(FileLines(requests), "/" + server_ + "/Talvenor/data/big.bin bytes=80000-"), 1u);
}

// Slow by design: the held file defeats SafeMoveFile's retries (30 s, twice).
TEST_F(HostRun, HeldGameFileRollsEveryMoveBack) {
  const SampleGame::Files before = game_.Snapshot();
  const std::string patchUrl = PublishHttp();
  // z.txt is the last replaced file in name order: a.txt is in the backup folder by then.
  ChildProcess holder;
  ASSERT_TRUE(StartHelper(holder, "hold_file", "\"" + game_.GameDir() + "\\data\\z.txt\" 150000"));
  EXPECT_EQ(Run(patchUrl), 1) << host_.RawOutput();
  holder.Kill();
  EXPECT_EQ(host_.Result(), "0");
  EXPECT_TRUE(HasLinePrefix(host_.Lines(), "message : 49 : ")) << host_.RawOutput();
  const std::vector<std::string> log = FileLines(LauncherLogFolder() + "\\launcher_log.txt");
  EXPECT_EQ(CountLinesWith(log, "Rollback : move \""), 1u);
  EXPECT_EQ(CountLinesWith(log, "\\data\\a.txt\"..."), 1u);
  ExpectUntouched(before);
}

// The pipe protocol, seen by a host: downloads slowed by the fault server (16 KiB every
// 200 ms) so that the run is still downloading when the host acts.
class HostPipe : public HostRun {
 protected:
  std::string PublishSlow() { return PublishHttp(ServerEnv("TALV_FAULT_HOST") + ":80/slow/16384/200/"); }
};

TEST_F(HostPipe, LinesAreExact) {
  EXPECT_EQ(Run(PublishSlow()), 0) << host_.RawOutput();
  const std::string raw = host_.RawOutput();
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
  for (std::size_t at = raw.find('\n'); at != std::string::npos; at = raw.find('\n', at + 1)) {
    ASSERT_TRUE(at > 0 && raw[at - 1] == '\r') << "bare line feed at " << at;
    ASSERT_FALSE(at > 1 && raw[at - 2] == '\r') << "doubled carriage return at " << at;
  }
  const std::regex line(
      "panelType : (general|download|none)|gameVersion : [0-9]+|text : .*|progress : [0-9]+|"
      "size : [0-9]+/[0-9]+|speed : [0-9]+|result : 1");
  const std::vector<std::string>& lines = host_.Lines();
  const std::vector<std::uint32_t>& ticks = host_.LineTicks();
  std::string lastProgress;
  std::uint32_t lastSize = 0;
  std::uint32_t lastSpeed = 0;
  int sizes = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    EXPECT_TRUE(std::regex_match(lines[i], line));
    if (lines[i].rfind("progress : ", 0) == 0) {
      EXPECT_NE(lines[i], lastProgress);
      lastProgress = lines[i];
    }
    // Arrival ticks trail the writes by a reader's poll at most.
    if (lines[i].rfind("size : ", 0) == 0) {
      if (sizes++ > 0) {
        EXPECT_GE(ticks[i] - lastSize, 900u);
      }
      lastSize = ticks[i];
    }
    if (lines[i].rfind("speed : ", 0) == 0) {
      if (lastSpeed != 0) {
        EXPECT_GE(ticks[i] - lastSpeed, 900u);
      }
      lastSpeed = ticks[i];
    }
  }
  EXPECT_GE(sizes, 2) << raw;  // big.bin alone comes in seven pieces, 200 ms apart
  EXPECT_EQ(lines.back(), "result : 1");
  const auto download = std::find(lines.begin(), lines.end(), "panelType : download");
  ASSERT_NE(download, lines.end()) << raw;
  EXPECT_NE(std::find(download, lines.end(), "text : data\\big.bin"), lines.end());
  std::size_t changed = 0;  // bytes of the files release 2 changed or added
  for (const auto& file : kVersion2) {
    if (kVersion1.count(file.first) == 0 || kVersion1.at(file.first) != file.second) changed += file.second.size();
  }
  const std::string total = std::to_string(changed);
  EXPECT_NE(std::find(download, lines.end(), "size : 0/" + total), lines.end()) << raw;
}

TEST_F(HostPipe, CancelDuringTheDownloadsLeavesTheGameAlone) {
  const SampleGame::Files before = game_.Snapshot();
  ASSERT_TRUE(host_.Start(game_.LauncherPath(), "play patchurl:" + PublishSlow(), game_.GameDir()));
  ASSERT_TRUE(host_.WaitForLine("panelType : download")) << host_.RawOutput();
  host_.Send("cancel");
  EXPECT_EQ(host_.Finish(), 2) << host_.RawOutput();
  EXPECT_EQ(host_.Result(), "-1");
  EXPECT_NE(std::find(host_.Lines().begin(), host_.Lines().end(), "command : cancel"), host_.Lines().end());
  EXPECT_TRUE(HasLinePrefix(host_.Lines(), "message : 11 : ")) << host_.RawOutput();
  ExpectUntouched(before);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\client.exe.cmdline"));
}

TEST_F(HostPipe, PauseAndResumeAreAcknowledged) {
  ASSERT_TRUE(host_.Start(game_.LauncherPath(), "patchurl:" + PublishSlow(), game_.GameDir()));
  ASSERT_TRUE(host_.WaitForLine("panelType : download")) << host_.RawOutput();
  host_.Send("pause");
  ASSERT_TRUE(host_.WaitForLine("command : pause")) << host_.RawOutput();
  const std::size_t paused = host_.Lines().size();
  host_.Send("resume");
  ASSERT_TRUE(host_.WaitForLine("command : resume")) << host_.RawOutput();
  // A paused transfer waits in the progress callback: nothing moves until the resume.
  EXPECT_EQ(host_.Lines().size(), paused + 1) << host_.RawOutput();
  EXPECT_EQ(host_.Finish(), 0) << host_.RawOutput();
  EXPECT_EQ(host_.Result(), "1");
  EXPECT_EQ(game_.Snapshot(), Patched(game_));
}

}  // namespace
