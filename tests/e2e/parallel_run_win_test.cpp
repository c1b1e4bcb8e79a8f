// End-to-end runs of Talvenor.exe in host mode with several transfers at once and further
// file servers ("connections" and "mirror" in the patch information), through the link
// emulator of the test servers, which counts the connections it relays.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr int kOld = 100;
constexpr int kNew = 101;

// Release 100 and 101 of a game of `files` files of a few KB each, every one changed.
SampleGame::Files Release(int version, int files, std::size_t baseSize) {
  SampleGame::Files out;
  for (int i = 0; i < files; ++i) {
    char name[32];
    std::snprintf(name, sizeof(name), "data\\f%03d.bin", i);
    const std::size_t size = baseSize + static_cast<std::size_t>(i * 997 % 7) * 1024;
    std::string content(size, static_cast<char>('a' + i % 26));
    content += "release " + std::to_string(version) + " file " + std::to_string(i);
    out[name] = content;
  }
  return out;
}

std::string UniqueName(const char* stem) { return std::string(stem) + "_" + std::to_string(TickMs()); }

std::size_t CountLinesWith(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

std::vector<std::string> LauncherLog() { return FileLines(LauncherLogFolder() + "\\launcher_log.txt"); }

class ParallelRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable() || ServerEnv("TALV_LINK_HOST").empty()) GTEST_SKIP() << "test servers are not running";
  }
  void SetUpGame(int files, std::size_t baseSize) {
    ASSERT_TRUE(game_.AddRelease(kOld, Release(kOld, files, baseSize))) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(kNew, Release(kNew, files, baseSize))) << game_.Why();
    ASSERT_TRUE(game_.Install(kOld));
    before_ = game_.Snapshot();
  }

  std::string Http(const std::string& host, const std::string& folder) { return host + ":80/" + folder; }
  std::string LinkHttp(const std::string& folder) { return Http(ServerEnv("TALV_LINK_HOST"), folder); }
  std::string LinkFtp(const std::string& folder) {
    return ServerEnv("TALV_FTP_USER") + ":" + ServerEnv("TALV_FTP_PASSWORD") + "@" + ServerEnv("TALV_LINK_HOST") +
           ":21/" + folder;
  }

  // Publishes the new release under a fresh name on nginx with the files at filesAddress
  // (filled with the name); the patch information stays on nginx, reached directly.
  std::string Publish(const std::string& filesAddress, const std::string& extra) {
    server_ = UniqueName("par");
    std::string address = filesAddress;
    const std::size_t at = address.find("%s");
    if (at != std::string::npos) address.replace(at, 2, server_);
    EXPECT_TRUE(game_.Publish(kNew, WwwFolder(server_), address, extra)) << game_.Why();
    return HttpBase(server_);
  }
  // The same tree under another name, for a mirror.
  std::string PublishCopy(const char* stem) {
    const std::string name = UniqueName(stem);
    EXPECT_TRUE(game_.Publish(kNew, WwwFolder(name), name)) << game_.Why();
    return name;
  }

  void Start(const std::string& patchUrl) {
    host_ = std::make_unique<HostSession>();
    EXPECT_TRUE(host_->Start(game_.LauncherPath(), "patchurl:" + patchUrl, game_.GameDir()));
  }
  int Run(const std::string& patchUrl) {
    Start(patchUrl);
    return host_->Finish(600000);
  }

  SampleGame::Files Patched() const {
    SampleGame::Files files = game_.ReleaseFiles(kNew);
    files["version.dat"] = std::string("\x65\x00\x00\x00", 4);
    return files;
  }
  void ExpectPatched() {
    EXPECT_EQ(host_->Result(), "1") << host_->RawOutput();
    EXPECT_EQ(game_.Snapshot(), Patched());
    EXPECT_EQ(game_.InstalledVersion(), kNew);
    EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
  }
  // A run that ended early keeps only its record of downloads and the files it names.
  void ExpectUntouched() {
    bool onlyKept = false;
    EXPECT_EQ(OutsideKeptDownloads(game_.Snapshot(), &onlyKept), before_);
    EXPECT_TRUE(onlyKept);
    EXPECT_EQ(game_.InstalledVersion(), kOld);
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  SampleGame::Files before_;
  std::unique_ptr<HostSession> host_ = std::make_unique<HostSession>();
  std::string server_;
};

// "connections 4" over each transport: the game ends exactly as with one transfer, and the
// link saw several transfers at once.
struct TransportCase {
  const char* name;
  bool ftp;
  const char* concurrencyKey;  // the link's count of transfers at once
  std::uint64_t atLeast;
};

class ParallelTransports : public ParallelRun, public ::testing::WithParamInterface<TransportCase> {};

TEST_P(ParallelTransports, FourConnectionsEndAsOneDoes) {
  const TransportCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(SetUpGame(200, 1024));
  for (int connections : {1, 4}) {
    SCOPED_TRACE(connections);
    if (connections == 4) {
      ASSERT_TRUE(game_.Install(kOld));
      ASSERT_EQ(game_.Snapshot(), before_);
    }
    ASSERT_TRUE(SetLink(20, 0));
    std::string patchUrl;
    const std::string extra = "--connections " + std::to_string(connections);
    if (c.ftp) {
      patchUrl = Publish(LinkFtp("%s"), extra);
      ASSERT_TRUE(game_.Publish(kNew, FtpFolder(server_), LinkFtp(server_))) << game_.Why();
      RemoveTree(WwwFolder(server_) + "\\Talvenor");
    } else {
      patchUrl = Publish(LinkHttp("%s"), extra);
    }
    EXPECT_EQ(Run(patchUrl), 0) << host_->RawOutput();
    ExpectPatched();
    const std::uint64_t peak = LinkStat(c.concurrencyKey);
    if (connections == 1) {
      EXPECT_EQ(peak, 1u);
    } else {
      EXPECT_GE(peak, c.atLeast);
    }
    EXPECT_EQ(CountLinesWith(LauncherLog(), "Downloading file : data\\f"), 200u);
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, ParallelTransports,
                         ::testing::Values(TransportCase{"http", false, "tcp:80.peak", 3},
                                           TransportCase{"ftp", true, "ftp-data.peak", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// Without the new keys the requests are today's: the manifest, then every file once, in name
// order, one after the other over one connection.
TEST_F(ParallelRun, WithoutTheKeysTheRequestsAreTodays) {
  ASSERT_NO_FATAL_FAILURE(SetUpGame(12, 1024));
  ASSERT_TRUE(SetLink(10, 0));
  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  const std::size_t logged = FileLines(accessLog).size();
  const std::string patchUrl = Publish(LinkHttp("%s"), "");
  ASSERT_EQ(ReadFileOr(WwwFolder(server_) + "\\patch_live.txt").find("connections"), std::string::npos);
  EXPECT_EQ(Run(patchUrl), 0) << host_->RawOutput();
  ExpectPatched();
  std::vector<std::string> expected = {"/" + server_ + "/patch_live.txt", "/" + server_ + "/version.txt"};
  for (const auto& file : game_.ReleaseFiles(kNew)) {
    if (file.first.rfind("data\\", 0) != 0) continue;  // the client is unchanged since release 100
    std::string path = file.first;
    std::replace(path.begin(), path.end(), '\\', '/');
    expected.push_back("/" + server_ + "/Talvenor/" + path);
  }
  std::vector<std::string> requests;
  auto collect = [&] {
    requests.clear();
    std::vector<std::string> lines = FileLines(accessLog);
    for (std::size_t i = std::min(logged, lines.size()); i < lines.size(); ++i) {
      const std::size_t get = lines[i].find("\"GET /" + server_ + "/");
      if (get == std::string::npos) continue;
      requests.push_back(lines[i].substr(get + 5, lines[i].find(' ', get + 5) - (get + 5)));
    }
    return requests.size() >= expected.size();
  };
  EXPECT_TRUE(WaitUntil(collect, 5000));
  EXPECT_EQ(requests, expected);
  EXPECT_EQ(LinkStat("tcp:80.peak"), 1u);
}

// A file a server cannot serve is fetched from the next one.
struct MirrorCase {
  const char* name;
  int connections;
  bool halfMissing;    // the first server answers 404 for every second file
  bool corruptOne;     // the first server (the fault server) corrupts one file
};

class ParallelMirrors : public ParallelRun, public ::testing::WithParamInterface<MirrorCase> {};

TEST_P(ParallelMirrors, TheNextServerServesWhatTheFirstCannot) {
  const MirrorCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(SetUpGame(8, 2048));
  ASSERT_TRUE(SetLink(0, 0));
  const std::string mirror = PublishCopy("mirror");
  const std::string extra = "--connections " + std::to_string(c.connections) + " --mirror " +
                            Http(ServerEnv("TALV_HTTP_HOST"), mirror);
  const std::string first = c.corruptOne ? Http(ServerEnv("TALV_FAULT_HOST"), "corrupt/f003.bin/%s")
                                         : Http(ServerEnv("TALV_HTTP_HOST"), "%s");
  const std::string patchUrl = Publish(first, extra);
  if (c.halfMissing) {
    for (int i = 0; i < 8; i += 2) {
      char name[64];
      std::snprintf(name, sizeof(name), "\\Talvenor\\data\\f%03d.bin", i);
      ASSERT_TRUE(DeleteFileA((WwwFolder(server_) + name).c_str()));
    }
  }
  EXPECT_EQ(Run(patchUrl), 0) << host_->RawOutput();
  ExpectPatched();
  const std::vector<std::string> log = LauncherLog();
  EXPECT_GE(CountLinesWith(log, "Trying next file server for data\\f"), 1u);
  if (c.corruptOne) {
    EXPECT_EQ(CountLinesWith(log, "\\f003.bin\" is currupted."), 4u);
    EXPECT_EQ(CountLinesWith(log, "Trying next file server for data\\f003.bin : "), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Failover, ParallelMirrors,
                         ::testing::Values(MirrorCase{"half_missing", 4, true, false},
                                           MirrorCase{"corrupt_file", 2, false, true},
                                           MirrorCase{"one_connection_and_a_mirror", 1, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The first server sends part of one file and then nothing: after the stall limit that file
// comes from the mirror, without another pass or cycle at the silent server.
TEST_F(ParallelRun, AStalledTransferMovesToTheNextServer) {
  ASSERT_NO_FATAL_FAILURE(SetUpGame(8, 2048));
  const std::string mirror = Http(ServerEnv("TALV_HTTP_HOST"), PublishCopy("mirror"));
  const std::string stalling = "stallafter/1000/f003.bin/";
  const std::string patchUrl =
      Publish(Http(ServerEnv("TALV_FAULT_HOST"), stalling + "%s"), "--connections 2 --mirror " + mirror);
  const std::string first = Http(ServerEnv("TALV_FAULT_HOST"), stalling + server_);
  const std::string faultLog = ServerEnv("TALV_WWW_ROOT_WIN") + "\\..\\fault-requests.log";
  const std::string request = "GET /" + stalling + server_ + "/Talvenor/data/f003.bin ";
  const std::size_t asked = CountLinesWith(FileLines(faultLog), request);
  EXPECT_EQ(Run(patchUrl), 0) << host_->RawOutput();
  ExpectPatched();
  const std::vector<std::string> log = LauncherLog();
  EXPECT_EQ(CountLinesWith(log, "No data for 15 seconds, transfer of data\\f003.bin abandoned on file server : " + first),
            1u);
  EXPECT_EQ(CountLinesWith(log, "No data for "), 1u);
  EXPECT_EQ(CountLinesWith(log, "Trying next file server for data\\f003.bin : " + mirror), 1u);
  EXPECT_EQ(CountLinesWith(FileLines(faultLog), request) - asked, 1u);
}

// Over FTP the platform waits on a silent data connection without a limit of its own: the
// transfer stops waiting once the stall limit has passed, and the mirror serves the file.
TEST_F(ParallelRun, AStalledFtpTransferMovesToTheNextServer) {
  ASSERT_NO_FATAL_FAILURE(SetUpGame(8, 2048));
  const std::string mirror = Http(ServerEnv("TALV_HTTP_HOST"), PublishCopy("mirror"));
  const std::string first = "any:one@" + ServerEnv("TALV_FAULT_HOST") + ":21/stallafter/1000/f003.bin/";
  const std::string patchUrl = Publish(first + "%s", "--connections 2 --mirror " + mirror);
  ASSERT_TRUE(game_.Publish(kNew, FtpFolder(server_), server_)) << game_.Why();
  RemoveTree(WwwFolder(server_) + "\\Talvenor");
  EXPECT_EQ(Run(patchUrl), 0) << host_->RawOutput();
  ExpectPatched();
  const std::vector<std::string> log = LauncherLog();
  EXPECT_EQ(CountLinesWith(log, "No data for 15 seconds, transfer of data\\f003.bin abandoned on file server : " +
                                    first + server_),
            1u);
  EXPECT_EQ(CountLinesWith(log, "No data for "), 1u);
  EXPECT_EQ(CountLinesWith(log, "Trying next file server for data\\f003.bin : " + mirror), 1u);
}

// A stop while a transfer waits on a server that went silent: the transfer stops waiting at
// once rather than at the stall limit, and the run ends as any cancelled one.
TEST_F(ParallelRun, CancelReachesATransferThatWaitsOnASilentServer) {
  ASSERT_NO_FATAL_FAILURE(SetUpGame(8, 2048));
  const std::string stalling = "stallafter/1000/f003.bin/";
  Start(Publish(Http(ServerEnv("TALV_FAULT_HOST"), stalling + "%s"), "--connections 2"));
  // Once the server has the request, the transfer waits on it: the platform hands on no byte
  // of a read before the whole block or the end has come.
  const std::string faultLog = ServerEnv("TALV_WWW_ROOT_WIN") + "\\..\\fault-requests.log";
  const std::string request = "GET /" + stalling + server_ + "/Talvenor/data/f003.bin ";
  ASSERT_TRUE(WaitUntil([&] { return CountLinesWith(FileLines(faultLog), request) > 0; }, 60000))
      << host_->RawOutput();
  host_->Send("cancel");
  EXPECT_EQ(host_->Finish(), 2) << host_->RawOutput();
  EXPECT_EQ(host_->Result(), "-1");
  EXPECT_EQ(CountLinesWith(host_->Lines(), "message : 11 : "), 1u) << host_->RawOutput();
  ExpectUntouched();
  const std::vector<std::string> log = LauncherLog();
  EXPECT_EQ(CountLinesWith(log, "CDownloadMgrHttp::ReadFile() : "), CountLinesWith(log, "() given up : stopped"));
  EXPECT_EQ(CountLinesWith(log, "() given up : stopped"), 1u);
  EXPECT_EQ(CountLinesWith(log, "No data for "), 0u);
}

// Every server fails: the first has no files, the others do not answer at all.
TEST_F(ParallelRun, EveryServerDownFailsWithString46AndLeavesTheGame) {
  ASSERT_NO_FATAL_FAILURE(SetUpGame(2, 1024));
  // Nothing listens on these: the servers take addresses from 127.0.0.10 up.
  const std::string extra = "--connections 2 --mirror 127.0.0.3:80/none --mirror 127.0.0.4:2121/none";
  const std::string patchUrl = Publish(Http(ServerEnv("TALV_HTTP_HOST"), "%s"), extra);
  RemoveTree(WwwFolder(server_) + "\\Talvenor");
  EXPECT_EQ(Run(patchUrl), 1) << host_->RawOutput();
  EXPECT_EQ(host_->Result(), "0");
  EXPECT_EQ(CountLinesWith(host_->Lines(), "message : 46 : "), 1u) << host_->RawOutput();
  ExpectUntouched();
  EXPECT_GE(CountLinesWith(LauncherLog(), "Fail to GetFile from every file server : data\\f"), 1u);
}

// Slow transfers (the link gives each connection 32 KB/s) so that the host acts mid-run.
class ParallelHost : public ParallelRun {
 protected:
  void StartSlow(int connections) {
    ASSERT_NO_FATAL_FAILURE(SetUpGame(16, 200 * 1024));
    ASSERT_TRUE(SetLink(0, 32 * 1024));
    Start(Publish(LinkHttp("%s"), "--connections " + std::to_string(connections)));
  }
  // Transfers under way at once (the stage's own connection, which fetched the manifest, may
  // have been taken over by one of them).
  static bool InFlight(std::uint64_t transfers) { return LinkStat("tcp:80.active") >= transfers; }
};

TEST_F(ParallelHost, CancelStopsEveryTransferAndLeavesTheGame) {
  ASSERT_NO_FATAL_FAILURE(StartSlow(8));
  ASSERT_TRUE(WaitUntil([] { return InFlight(8); }, 60000)) << host_->RawOutput();
  host_->Send("cancel");
  ASSERT_TRUE(host_->WaitForLine("command : cancel")) << host_->RawOutput();
  // Every transfer closes its connection (the stage's own closes when the run ends); the
  // bound allows for the closes' own threads and a loaded machine.
  EXPECT_TRUE(WaitUntil([] { return LinkStat("tcp:80.active") <= 1; }, 5000)) << LinkStat("tcp:80.active");
  EXPECT_EQ(host_->Finish(), 2) << host_->RawOutput();
  EXPECT_EQ(host_->Result(), "-1");
  EXPECT_EQ(CountLinesWith(host_->Lines(), "message : 11 : "), 1u) << host_->RawOutput();
  ExpectUntouched();
}

TEST_F(ParallelHost, PauseMovesNoByteUntilResume) {
  ASSERT_NO_FATAL_FAILURE(StartSlow(4));
  ASSERT_TRUE(WaitUntil([] { return InFlight(4); }, 60000)) << host_->RawOutput();
  host_->Send("pause");
  ASSERT_TRUE(host_->WaitForLine("command : pause")) << host_->RawOutput();
  // What the sockets already hold drains into the launcher's buffers; then nothing moves.
  std::uint64_t bytes = LinkStat("tcp:80.bytes_down");
  const bool settled = WaitUntil(
      [&] {
        PauseMs(500);
        const std::uint64_t now = LinkStat("tcp:80.bytes_down");
        const bool same = now == bytes;
        bytes = now;
        return same;
      },
      20000);
  ASSERT_TRUE(settled);
  const std::uint64_t requests = LinkStat("tcp:80.connections");
  EXPECT_FALSE(WaitUntil([&] { return LinkStat("tcp:80.bytes_down") != bytes; }, 3000)) << "bytes moved while paused";
  EXPECT_EQ(LinkStat("tcp:80.connections"), requests);
  host_->Send("resume");
  ASSERT_TRUE(host_->WaitForLine("command : resume")) << host_->RawOutput();
  EXPECT_EQ(host_->Finish(600000), 0) << host_->RawOutput();
  ExpectPatched();
  EXPECT_EQ(CountLinesWith(host_->Lines(), "command : pause"), 1u);
  EXPECT_EQ(CountLinesWith(host_->Lines(), "command : resume"), 1u);
}

}  // namespace
