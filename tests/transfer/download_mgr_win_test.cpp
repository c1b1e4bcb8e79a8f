// The download managers against the fixture's real servers on loopback: nginx (HTTP with
// ranges), pyftpdlib (passive FTP) and the fault servers (cut bodies, error statuses,
// dropped FTP control connections).
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "launcher/transfer/download_mgr.h"
#include "launcher/transfer/download_mgr_win.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"

namespace {

// Bytes that differ at every offset, so a misplaced block shows.
std::string Pattern(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    out[i] = static_cast<char>(seed >> 16);
  }
  return out;
}

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

int CountLines(const LogCapture& log, const std::string& line) {
  return static_cast<int>(std::count(log.lines().begin(), log.lines().end(), line));
}

struct Progress {
  std::vector<std::uint64_t> transferred;
  int stopAfter = -1;  // calls before the callback says stop; -1 never
  static bool Callback(DownloadProgress* p) {
    auto* self = static_cast<Progress*>(p->context);
    if (self->stopAfter >= 0 && static_cast<int>(self->transferred.size()) >= self->stopAfter) return false;
    self->transferred.push_back(p->transferred);
    return true;
  }
};

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    // A folder of its own per test and run: the servers' request logs stay unambiguous.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::string("dl_") + info->name() + "_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(GetTickCount());
    CreateDirectoryA((ServerEnv("TALV_WWW_ROOT_WIN") + "\\" + folder_).c_str(), nullptr);
    CreateDirectoryA((ServerEnv("TALV_FTP_ROOT_WIN") + "\\" + folder_).c_str(), nullptr);
  }

  // Puts a file where both HTTP servers (www) or both FTP servers (ftp) serve it.
  void PutWww(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(ServerEnv("TALV_WWW_ROOT_WIN") + "\\" + folder_ + "\\" + name, bytes));
  }
  void PutFtp(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(ServerEnv("TALV_FTP_ROOT_WIN") + "\\" + folder_ + "\\" + name, bytes));
  }
  static std::string FaultRequests() {
    return ReadFileOr(ServerEnv("TALV_WWW_ROOT_WIN") + "\\..\\fault-requests.log");
  }

  std::unique_ptr<CDownloadMgr> Connected(const std::string& address, std::uint32_t stallLimitMs = 0) {
    ServerAddress a;
    std::unique_ptr<CDownloadMgr> mgr(CDownloadMgr::CreateDownloadMgr(address.c_str(), &a));
    if (!mgr) return nullptr;
    mgr->SetStallLimit(stallLimitMs);
    if (!mgr->Connect(a.host, a.user[0] ? a.user : nullptr, a.password[0] ? a.password : nullptr, a.port) ||
        (a.path[0] != '\0' && !mgr->SetCurrentDirectory(a.path))) {
      return nullptr;
    }
    return mgr;
  }
  std::unique_ptr<CDownloadMgr> Http(const char* hostVar = "TALV_HTTP_HOST", const std::string& prefix = "") {
    return Connected(ServerEnv(hostVar) + ":80/" + prefix + folder_);
  }
  std::unique_ptr<CDownloadMgr> Ftp(const char* hostVar = "TALV_FTP_HOST") {
    return Connected("talv:secret@" + ServerEnv(hostVar) + ":21/" + folder_);
  }

  std::string folder_;
  ScopedTempDir local_;
};

}  // namespace

TEST(DownloadFactory, ChoosesTheProtocolByPort) {
  struct Case {
    const char* address;
    bool http;
    const char* line;
  } cases[] = {
      {"patch.example.com", false, "protocol : ftp"},
      {"patch.example.com:8080/p", false, "protocol : ftp"},
      {"u:p@patch.example.com:80/p", true, "protocol : http"},
      {"http://patch.example.com:80/p", false, "protocol : ftp"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    ServerAddress a;
    std::unique_ptr<CDownloadMgr> mgr(CDownloadMgr::CreateDownloadMgr(c.address, &a));
    ASSERT_NE(mgr, nullptr) << c.address;
    EXPECT_EQ(dynamic_cast<CDownloadMgrHttp*>(mgr.get()) != nullptr, c.http) << c.address;
    EXPECT_EQ(mgr->IsRestartSupported(), c.http);
    EXPECT_TRUE(log.Contains(c.line)) << log.Joined();
  }
}

TEST(DownloadFactory, RefusesNullLongAndUnknown) {
  LogCapture log;
  ServerAddress a;
  EXPECT_EQ(CDownloadMgr::CreateDownloadMgr(nullptr, &a), nullptr);
  EXPECT_TRUE(log.Contains("CDownloadMgr::CreateDownloadMgr() : input string is null"));
  EXPECT_EQ(CDownloadMgr::CreateDownloadMgr((std::string(300, 'h') + ":80").c_str(), &a), nullptr);
  EXPECT_STREQ(a.host, "");
  EXPECT_EQ(CDownloadMgr::CreateDownloadMgr(7), nullptr);
  EXPECT_TRUE(log.Contains("CDownloadMgr::CreateDownloadMgr() : invalid protocol : 7"));
}

TEST_F(Download, HttpWholeFileWithProgress) {
  const std::string source = Pattern(200000, 1);
  PutWww("whole.bin", source);
  auto mgr = Http();
  ASSERT_NE(mgr, nullptr);
  LogCapture log;
  Progress progress;
  EXPECT_TRUE(GetFile(&Progress::Callback, false, mgr.get(), "whole.bin", (local_ / "whole.bin").c_str(), &progress));
  EXPECT_EQ(ReadFileOr(local_ / "whole.bin"), source);
  EXPECT_TRUE(log.Contains("Getting file \"whole.bin\"...")) << log.Joined();
  ASSERT_FALSE(progress.transferred.empty());
  EXPECT_EQ(progress.transferred.front(), 0u);
  EXPECT_EQ(progress.transferred.back(), source.size());  // the call before the final read
  EXPECT_FALSE(mgr->IsOpened());

  // Without resume an existing longer file is replaced, not appended to.
  ASSERT_TRUE(WriteFileBytes(local_ / "whole.bin", std::string(300000, 'x')));
  EXPECT_TRUE(GetFile(nullptr, false, mgr.get(), "/whole.bin", (local_ / "whole.bin").c_str(), nullptr));
  EXPECT_EQ(ReadFileOr(local_ / "whole.bin"), source);
}

// Resume continues a partial local file with "Range: bytes=n-"; an empty one sends no range.
TEST_F(Download, HttpResumeFromPartialFile) {
  const std::string source = Pattern(300000, 2);
  PutWww("resume.bin", source);
  for (const char* hostVar : {"TALV_HTTP_HOST", "TALV_FAULT_HOST"}) {
    for (std::size_t have : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{123457}}) {
      SCOPED_TRACE(std::string(hostVar) + " from " + std::to_string(have));
      const std::string path = local_ / "resume.bin";
      ASSERT_TRUE(WriteFileBytes(path, source.substr(0, have)));
      auto mgr = Http(hostVar);
      ASSERT_NE(mgr, nullptr);
      LogCapture log;
      Progress progress;
      EXPECT_TRUE(GetFile(&Progress::Callback, true, mgr.get(), "resume.bin", path.c_str(), &progress));
      EXPECT_TRUE(ReadFileOr(path) == source);
      ASSERT_FALSE(progress.transferred.empty());
      EXPECT_EQ(progress.transferred.front(), have);
      EXPECT_EQ(log.Contains("resuming file transfer at pos : " + std::to_string(have)), have > 0);
      if (std::string(hostVar) == "TALV_FAULT_HOST") {
        const std::string range = have > 0 ? "bytes=" + std::to_string(have) + "-" : "-";
        EXPECT_EQ(CountOf(FaultRequests(), "GET /" + folder_ + "/resume.bin " + range + "\n"), 1);
      }
    }
  }
}

// A body cut off mid-way: the next pass resumes where the local file ends, and the result
// equals the source.
TEST_F(Download, HttpCutTransferIsResumed) {
  const std::string source = Pattern(500000, 3);
  PutWww("cut.bin", source);
  auto mgr = Http("TALV_FAULT_HOST", "cutonce/200000/" + folder_ + "/");
  ASSERT_NE(mgr, nullptr);
  const std::string path = local_ / "cut.bin";
  LogCapture log;
  EXPECT_TRUE(GetFile(nullptr, true, mgr.get(), "cut.bin", path.c_str(), nullptr));
  EXPECT_TRUE(ReadFileOr(path) == source);
  EXPECT_TRUE(log.Contains("CDownloadMgrHttp::ReadFile() : connection closed after 200000 of 500000 bytes"))
      << log.Joined();
  EXPECT_TRUE(log.Contains("resuming file transfer at pos : 200000"));
}

TEST_F(Download, StopAtFirstCallbackLeavesEmptyFile) {
  PutWww("stop.bin", Pattern(1000, 4));
  auto mgr = Http("TALV_FAULT_HOST");
  ASSERT_NE(mgr, nullptr);
  Progress progress;
  progress.stopAfter = 0;
  const std::string path = local_ / "stop.bin";
  EXPECT_TRUE(GetFile(&Progress::Callback, false, mgr.get(), "stop.bin", path.c_str(), &progress));
  EXPECT_TRUE(PathExists(path));
  EXPECT_EQ(ReadFileOr(path, "missing"), "");
  EXPECT_FALSE(mgr->IsOpened());
  EXPECT_EQ(CountOf(FaultRequests(), "/" + folder_ + "/stop.bin"), 0);  // nothing was sent
}

// An error status fails every pass at its first read, silently; 4 passes in all.
TEST_F(Download, HttpErrorStatusFailsAfterFourPasses) {
  auto mgr = Http("TALV_FAULT_HOST", "status/404/");
  ASSERT_NE(mgr, nullptr);
  LogCapture log;
  EXPECT_FALSE(GetFile(nullptr, true, mgr.get(), "missing.bin", (local_ / "missing.bin").c_str(), nullptr));
  EXPECT_EQ(CountOf(FaultRequests(), "GET /status/404/" + folder_ + "/missing.bin"), 4);
  EXPECT_EQ(CountLines(log, "Getting file \"missing.bin\"..."), 1);
  EXPECT_EQ(log.Joined().find("failed"), std::string::npos) << log.Joined();
}

// With a stall limit a server that goes silent ends the transfer after the limit: the
// manager says it stalled, and GetFile makes no further pass at that server. A server that
// keeps sending is not affected, and the next open forgets an earlier stall.
TEST_F(Download, HttpStallEndsTheTransferWithoutAnotherPass) {
  constexpr std::uint32_t kLimitMs = 2000;  // the stage's 15 s would only slow the test
  PutWww("s.bin", Pattern(200000, 11));
  struct Case {
    const char* name;
    std::string prefix;  // of the fault server
    bool stalls;
    const char* failedCall;
    bool servesOthers;  // the server still serves other files
  } cases[] = {
      {"silent after some bytes", "stallafter/30000/s.bin/", true, "InternetReadFile", true},
      {"no answer at all", "silent/", true, "HttpSendRequest", false},
      {"slow but steady", "slow/50000/500/", false, nullptr, true},
  };
  PutWww("t.bin", "tiny");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto mgr = Connected(ServerEnv("TALV_FAULT_HOST") + ":80/" + c.prefix + folder_, kLimitMs);
    ASSERT_NE(mgr, nullptr);
    LogCapture log;
    const std::string path = local_ / "s.bin";
    const std::string request = "GET /" + c.prefix + folder_ + "/s.bin ";
    const int before = CountOf(FaultRequests(), request);
    EXPECT_EQ(GetFile(nullptr, true, mgr.get(), "s.bin", path.c_str(), nullptr), !c.stalls);
    EXPECT_EQ(mgr->Stalled(), c.stalls);
    EXPECT_EQ(CountOf(FaultRequests(), request) - before, 1);
    if (c.stalls) {
      EXPECT_EQ(CountOf(log.Joined(), std::string("CDownloadMgrHttp::ReadFile() : ") + c.failedCall + "() failed : code"),
                1)
          << log.Joined();
    } else {
      EXPECT_TRUE(ReadFileOr(path) == Pattern(200000, 11));
    }
    if (c.servesOthers) {
      // A stall belongs to the transfer it ended: the next file starts without it.
      EXPECT_TRUE(GetFile(nullptr, false, mgr.get(), "t.bin", (local_ / "t.bin").c_str(), nullptr));
      EXPECT_FALSE(mgr->Stalled());
      EXPECT_EQ(ReadFileOr(local_ / "t.bin"), "tiny");
    }
  }
}

// With a stop flag the calls run on a thread of their own and a short read is followed by
// one more at once: every size of file still arrives whole, on disk and in memory.
TEST_F(Download, WithAStopFlagEveryFileArrivesWhole) {
  const std::size_t sizes[] = {0, 1, kDownloadBlock - 1, kDownloadBlock, kDownloadBlock + 1, 3 * kDownloadBlock + 5};
  std::vector<std::string> contents;
  for (std::size_t size : sizes) {
    contents.push_back(Pattern(size, static_cast<std::uint32_t>(size)));
    const std::string name = "f" + std::to_string(size) + ".bin";
    ASSERT_NO_FATAL_FAILURE(PutWww(name, contents.back()));
    ASSERT_NO_FATAL_FAILURE(PutFtp(name, contents.back()));
  }
  std::atomic<bool> stop{false};
  auto http = Http();
  auto ftp = Ftp();
  ASSERT_NE(http, nullptr);
  ASSERT_NE(ftp, nullptr);
  for (CDownloadMgr* mgr : {http.get(), ftp.get()}) {
    mgr->SetStopFlag(&stop);
    for (std::size_t i = 0; i < contents.size(); ++i) {
      const std::string name = "f" + std::to_string(sizes[i]) + ".bin";
      SCOPED_TRACE(name + (mgr == http.get() ? " over HTTP" : " over FTP"));
      const std::string path = local_ / name;
      ASSERT_TRUE(GetFile(nullptr, false, mgr, name.c_str(), path.c_str(), nullptr));
      EXPECT_TRUE(ReadFileOr(path) == contents[i]);
      char* block = nullptr;
      std::uint32_t size = 0;
      ASSERT_TRUE(GetFileIntoMemory(name.c_str(), mgr, &block, &size));
      std::unique_ptr<char[]> owned(block);
      EXPECT_TRUE(std::string(block, size) == contents[i]);
    }
  }
}

// A stop raised while the server sends nothing ends the wait within its poll, not at the
// stall limit, and no further pass asks the server again.
TEST_F(Download, ARaisedStopEndsTheWaitOnASilentServer) {
  PutWww("s.bin", Pattern(200000, 12));
  const std::string prefix = "stallafter/30000/s.bin/";
  auto mgr = Connected(ServerEnv("TALV_FAULT_HOST") + ":80/" + prefix + folder_, kStallLimitMs);
  ASSERT_NE(mgr, nullptr);
  std::atomic<bool> stop{false};
  mgr->SetStopFlag(&stop);
  const std::string request = "GET /" + prefix + folder_ + "/s.bin ";
  const int before = CountOf(FaultRequests(), request);
  LogCapture log;
  std::thread raiser([&] {
    if (WaitUntil([&] { return CountOf(FaultRequests(), request) > before; }, 60000)) stop = true;
  });
  const bool fetched = GetFile(nullptr, false, mgr.get(), "s.bin", (local_ / "s.bin").c_str(), nullptr);
  raiser.join();
  EXPECT_FALSE(fetched);
  EXPECT_TRUE(mgr->StoppedWaiting());
  EXPECT_FALSE(mgr->Stalled());
  EXPECT_EQ(CountOf(FaultRequests(), request) - before, 1);
  EXPECT_EQ(CountOf(log.Joined(), "() given up : stopped"), 1) << log.Joined();
  EXPECT_EQ(CountOf(log.Joined(), "() failed : code"), 0) << log.Joined();
}

TEST_F(Download, IntoMemory) {
  const std::string exact = Pattern(65536, 5);
  const std::string larger = Pattern(150001, 6);
  PutWww("empty.txt", "");
  PutWww("exact.bin", exact);
  PutWww("larger.bin", larger);
  PutFtp("exact.bin", exact);
  auto http = Http();
  auto ftp = Ftp();
  ASSERT_NE(http, nullptr);
  ASSERT_NE(ftp, nullptr);
  struct Case {
    CDownloadMgr* mgr;
    const char* name;
    const std::string& bytes;
  } cases[] = {{http.get(), "empty.txt", std::string()}, {http.get(), "exact.bin", exact},
               {http.get(), "larger.bin", larger}, {ftp.get(), "exact.bin", exact}};
  for (const auto& c : cases) {
    char* block = reinterpret_cast<char*>(1);
    std::uint32_t size = 1;
    LogCapture log;
    ASSERT_TRUE(GetFileIntoMemory(c.name, c.mgr, &block, &size)) << c.name;
    std::unique_ptr<char[]> owned(block);
    ASSERT_NE(block, nullptr);  // an empty file still yields its first block
    EXPECT_TRUE(std::string(block, size) == c.bytes) << c.name;
    EXPECT_TRUE(log.Contains("Getting file \"" + std::string(c.name) + "\" into memory..."));
    EXPECT_FALSE(c.mgr->IsOpened());
  }
}

TEST_F(Download, FtpWholeFileAnonymousAndWithPassword) {
  const std::string source = Pattern(250000, 7);
  ASSERT_NO_FATAL_FAILURE(PutFtp("whole.bin", source));
  for (const std::string& credentials : {std::string(), std::string("talv:secret@")}) {
    SCOPED_TRACE(credentials);
    LogCapture log;
    auto mgr = Connected(credentials + ServerEnv("TALV_FTP_HOST"));
    ASSERT_NE(mgr, nullptr);
    ASSERT_TRUE(mgr->SetCurrentDirectory(("\\" + folder_ + "\\").c_str()));
    EXPECT_TRUE(log.Contains("Current ftp directory : \"/" + folder_ + "/\".")) << log.Joined();
    const std::string path = local_ / "ftp.bin";
    Progress progress;
    EXPECT_TRUE(GetFile(&Progress::Callback, false, mgr.get(), "whole.bin", path.c_str(), &progress));
    EXPECT_TRUE(ReadFileOr(path) == source);
    EXPECT_EQ(progress.transferred.back(), source.size());
  }
}

TEST_F(Download, FtpRefusesResumeWithoutTouchingTheLocalFile) {
  ASSERT_NO_FATAL_FAILURE(PutFtp("r.bin", "data"));
  auto mgr = Ftp();
  ASSERT_NE(mgr, nullptr);
  LogCapture log;
  const std::string path = local_ / "r.bin";
  EXPECT_FALSE(GetFile(nullptr, true, mgr.get(), "r.bin", path.c_str(), nullptr));
  EXPECT_TRUE(log.Contains("restarting file transfer is not supported.")) << log.Joined();
  EXPECT_FALSE(PathExists(path));
  EXPECT_FALSE(mgr->SetFilePointer(0));
}

TEST_F(Download, FtpFailuresAreLogged) {
  auto mgr = Ftp();
  ASSERT_NE(mgr, nullptr);
  LogCapture log;
  EXPECT_FALSE(mgr->SetCurrentDirectory("no\\such"));
  EXPECT_TRUE(log.Contains("CDownloadMgrFtp::SetCurrentDirectory() : FtpSetCurrentDirectory(no/such) failed."));
  EXPECT_FALSE(GetFile(nullptr, false, mgr.get(), "none.bin", (local_ / "none.bin").c_str(), nullptr));
  EXPECT_EQ(CountOf(log.Joined(), "CDownloadMgrFtp::OpenFile() : FtpOpenFile(none.bin) failed : code"), 4);
  EXPECT_EQ(CountOf(log.Joined(), "Reconnect to"), 0);  // a missing file is no lost connection

  CDownloadMgrFtp unreachable;  // nothing listens on that port
  EXPECT_FALSE(unreachable.Connect(ServerEnv("TALV_FAULT_HOST").c_str(), nullptr, nullptr, 2121));
  EXPECT_TRUE(log.Contains("CDownloadMgrFtp::Connect() : InternetConnect() failed : code12029")) << log.Joined();
  EXPECT_TRUE(log.Contains("Close connection..."));
  EXPECT_FALSE(unreachable.Reconnect());
  EXPECT_TRUE(log.Contains("address to reconnect was not given."));
}

// Wine's WinINet reports a control connection dropped by the server as 12003 or 12110 where
// Windows reports 12030: this manager passes the real open on and translates the code.
class CWindowsLikeFtp : public CDownloadMgrFtp {
 public:
  std::vector<DWORD> wineCodes;

 protected:
  HINTERNET OpenRemoteFile(const char* name) override {
    HINTERNET file = CDownloadMgrFtp::OpenRemoteFile(name);
    if (file == nullptr) {
      wineCodes.push_back(GetLastError());
      SetLastError(12030);
    }
    return file;
  }
};

// A dropped control connection: one reconnect (with the current directory restored) and one
// more open; when that fails too, the failure is logged twice.
TEST_F(Download, FtpReconnectsOnceWhenTheConnectionDrops) {
  const std::string source = Pattern(70000, 8);
  ASSERT_NO_FATAL_FAILURE(PutFtp("f.bin", source));
  const std::string once = "droponce/" + folder_ + "/f.bin";
  struct Case {
    std::string name;
    bool ok;
  } cases[] = {{once, true}, {"drop/f.bin", false}};
  const std::string host = ServerEnv("TALV_FAULT_HOST");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CWindowsLikeFtp mgr;
    ASSERT_TRUE(mgr.Connect(host.c_str(), "talv", "secret", 0));
    ASSERT_TRUE(mgr.SetCurrentDirectory(("/" + folder_).c_str()));
    LogCapture log;
    EXPECT_EQ(mgr.OpenFile(c.name.c_str()), c.ok);
    const std::string failed = "CDownloadMgrFtp::OpenFile() : FtpOpenFile(" + c.name + ") failed : code12030";
    EXPECT_EQ(CountLines(log, failed), c.ok ? 1 : 2) << log.Joined();
    EXPECT_EQ(CountLines(log, "Reconnect to \"" + host + "\"..."), 1);
    EXPECT_TRUE(log.Contains("Current ftp directory : \"/" + folder_ + "\"."));
    for (DWORD code : mgr.wineCodes) EXPECT_TRUE(code == 12003 || code == 12110) << code;
    if (!c.ok) continue;
    std::string got(source.size() + 1, '\0');
    std::uint64_t total = 0;
    for (std::uint64_t n = 1; n != 0; total += n) {
      ASSERT_TRUE(mgr.ReadFile(&got[total], static_cast<std::uint32_t>(got.size() - total), &n));
    }
    EXPECT_TRUE(got.substr(0, total) == source);
    EXPECT_TRUE(mgr.CloseFile());
    EXPECT_FALSE(mgr.CloseFile());
  }
}

TEST_F(Download, OneOpenFileAtATime) {
  PutWww("a.bin", "a");
  auto mgr = Http();
  ASSERT_NE(mgr, nullptr);
  LogCapture log;
  ASSERT_TRUE(mgr->OpenFile("a.bin"));
  EXPECT_FALSE(mgr->OpenFile("a.bin"));
  EXPECT_TRUE(log.Contains("CDownloadMgrHttp::OpenFile() : already opened."));
  char* block = nullptr;
  std::uint32_t size = 0;
  EXPECT_FALSE(GetFile(nullptr, false, mgr.get(), "a.bin", (local_ / "a.bin").c_str(), nullptr));
  EXPECT_FALSE(GetFileIntoMemory("a.bin", mgr.get(), &block, &size));
  EXPECT_FALSE(PathExists(local_ / "a.bin"));
  EXPECT_TRUE(mgr->CloseFile());
  EXPECT_FALSE(mgr->SetFilePointer(10));  // only while a request is open
}

// Names, hosts and directories beyond 259 bytes are refused with a line, never cut or overrun.
TEST_F(Download, OverlongTextsAreRefused) {
  const std::string longText(260, 'n');
  auto http = Http();
  auto ftp = Ftp();
  ASSERT_NE(http, nullptr);
  ASSERT_NE(ftp, nullptr);
  LogCapture log;
  for (CDownloadMgr* mgr : {http.get(), ftp.get()}) {
    EXPECT_FALSE(mgr->SetCurrentDirectory(longText.c_str()));
    EXPECT_FALSE(mgr->OpenFile(longText.c_str()));
    EXPECT_FALSE(GetFile(nullptr, false, mgr, longText.c_str(), (local_ / "x").c_str(), nullptr));
    EXPECT_FALSE(GetFile(nullptr, false, mgr, "x", (local_ / longText).c_str(), nullptr));
  }
  // Within the limits each, but not together: the HTTP object name does not fit.
  ASSERT_TRUE(http->SetCurrentDirectory(std::string(200, 'd').c_str()));
  EXPECT_FALSE(http->OpenFile(std::string(100, 'f').c_str()));
  CDownloadMgrHttp unconnected;
  EXPECT_FALSE(unconnected.Connect(longText.c_str(), nullptr, nullptr, 80));
  EXPECT_EQ(CountOf(log.Joined(), "too long"), 10) << log.Joined();
  EXPECT_FALSE(PathExists(local_ / "x"));
}

namespace {

// A manager that only answers Connect as scripted and remembers what it was given.
class CScriptedMgr : public CDownloadMgr {
 public:
  std::vector<bool> answers;  // one per Connect; false once they run out
  int connects = 0;
  bool userGiven = false, passwordGiven = false;
  std::int32_t port = -1;
  std::string directory = "<none>";

  bool Connect(const char*, const char* user, const char* password, std::int32_t p) override {
    userGiven = user != nullptr;
    passwordGiven = password != nullptr;
    port = p;
    const std::size_t n = static_cast<std::size_t>(connects++);
    return n < answers.size() && answers[n];
  }
  bool Disconnect() override { return true; }
  bool SetCurrentDirectory(const char* d) override {
    directory = d;
    return true;
  }
  bool IsOpened() override { return false; }
  bool OpenFile(const char*) override { return false; }
  bool CloseFile() override { return false; }
  bool ReadFile(void*, std::uint32_t, std::uint64_t*) override { return false; }
  bool IsRestartSupported() override { return false; }
  bool SetFilePointer(std::uint32_t) override { return false; }
};

}  // namespace

// The connection the patch run and the launcher update share: empty credentials go as none,
// a failed attempt is tried again, the address's path becomes the current directory, and a
// stop seen before an attempt makes none.
TEST(ConnectWithRetries, RetriesThenEntersThePath) {
  ServerAddress address;
  ASSERT_TRUE(ParseServerAddress("files.example:8021/patch/", &address));
  CScriptedMgr mgr;
  mgr.answers = {false, true};
  EXPECT_EQ(ConnectWithRetries(mgr, address), ConnectResult::Connected);
  EXPECT_EQ(mgr.connects, 2);
  EXPECT_FALSE(mgr.userGiven);
  EXPECT_FALSE(mgr.passwordGiven);
  EXPECT_EQ(mgr.port, 8021);
  EXPECT_EQ(mgr.directory, "/patch/");

  ServerAddress withUser;
  ASSERT_TRUE(ParseServerAddress("u:p@files.example", &withUser));
  CScriptedMgr second;
  second.answers = {true};
  EXPECT_EQ(ConnectWithRetries(second, withUser), ConnectResult::Connected);
  EXPECT_TRUE(second.userGiven);
  EXPECT_TRUE(second.passwordGiven);

  CScriptedMgr stopped;
  int polls = 0;
  const auto stop = [](void* count) { return ++*static_cast<int*>(count) > 0; };
  EXPECT_EQ(ConnectWithRetries(stopped, address, stop, &polls), ConnectResult::Stopped);
  EXPECT_EQ(stopped.connects, 0);
  EXPECT_EQ(stopped.directory, "<none>");
}

TEST_F(Download, FtpFileSizeComesFromTheListing) {
  ASSERT_NO_FATAL_FAILURE(PutFtp("sized.bin", Pattern(70001, 3)));
  auto mgr = Ftp();
  ASSERT_NE(mgr, nullptr);
  auto* ftp = static_cast<CDownloadMgrFtp*>(mgr.get());
  std::uint32_t size = 0;
  EXPECT_TRUE(ftp->FindFileSize("sized.bin", &size));
  EXPECT_EQ(size, 70001u);
  EXPECT_FALSE(ftp->FindFileSize("missing.bin", &size));
  // The listing is over before the file is opened: the transfer still works.
  EXPECT_TRUE(GetFile(nullptr, false, mgr.get(), "sized.bin", (local_ / "sized.bin").c_str(), nullptr));
  EXPECT_EQ(ReadFileOr(local_ / "sized.bin").size(), 70001u);
}
