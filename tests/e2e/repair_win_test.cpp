// End-to-end repair runs of Talvenor.exe in host mode against nginx: a game broken by hand
// is checked against the latest manifest, and exactly its broken files are fetched again.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <algorithm>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

const SampleGame::Files kOld = {{"data\\a.txt", "one"}, {"data\\gone.txt", "old"}, {"data\\keep.txt", "keep"}};
const SampleGame::Files kLatest = {{"data\\a.txt", "two, a little longer"},
                                   {"data\\keep.txt", "keep"},
                                   {"data\\sub\\c.bin", std::string("\x00\x01\xff\r\n", 5) + std::string(5000, 'c')},
                                   {"data\\big.bin", std::string(100000, 'b') + "end"}};

std::size_t CountLinesWith(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

bool HasLinePrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

class HostRepair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(1, kOld)) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(2, kLatest)) << game_.Why();
    ASSERT_TRUE(game_.Install(2));
    intact_ = game_.Snapshot();
  }

  // Publishes release 2 under a fresh folder; filesHost serves the game files when given.
  // withForms publishes release 1 first and gives release 2 its smaller forms from it.
  std::string Publish(const std::string& filesHost = "", bool withForms = false) {
    server_ = "repair_" + std::to_string(TickMs());
    const std::string host = filesHost.empty() ? ServerEnv("TALV_HTTP_HOST") + ":80/" + server_ : filesHost + server_;
    std::string options;
    if (withForms) {
      const std::string earlier = scratch_.path() + "\\published_1";
      EXPECT_TRUE(game_.Publish(1, earlier, host)) << game_.Why();
      options = "--delta-from \"" + earlier + "\"";
    }
    EXPECT_TRUE(game_.Publish(2, WwwFolder(server_), host, options)) << game_.Why();
    return HttpBase(server_);
  }

  // One byte changed, one file cut short, one deleted, and a file release 2 removed put back.
  void Break() {
    const std::string dir = game_.GameDir();
    std::string a = ReadFileOr(dir + "\\data\\a.txt");
    a[3] ^= 0x20;
    ASSERT_TRUE(WriteFileBytes(dir + "\\data\\a.txt", a));
    ASSERT_TRUE(WriteFileBytes(dir + "\\data\\big.bin", std::string(60000, 'b')));
    ASSERT_TRUE(DeleteFileA((dir + "\\data\\sub\\c.bin").c_str()));
    ASSERT_TRUE(WriteFileBytes(dir + "\\data\\gone.txt", "old"));
  }

  // A repair run to its end; its exit code.
  int Repair(HostSession& session, const std::string& patchUrl) {
    EXPECT_TRUE(session.Start(game_.LauncherPath(), "repair patchurl:" + patchUrl, game_.GameDir()));
    return session.Finish();
  }

  // Requests for game files (not the documents) that nginx logged since `from` lines;
  // folder "Talvenor.forms" asks for those of their smaller forms.
  std::vector<std::string> FileRequestsSince(std::size_t from, const std::string& folder = "Talvenor") {
    std::vector<std::string> lines = FileLines(ServerEnv("TALV_NGINX_ACCESS_LOG_WIN"));
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())));
    std::vector<std::string> files;
    for (const std::string& l : lines) {
      if (l.find("/" + server_ + "/" + folder + "/") != std::string::npos) files.push_back(l);
    }
    return files;
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  SampleGame::Files intact_;
  std::string server_;
};

TEST_F(HostRepair, FetchesExactlyTheBrokenFilesThenFindsTheGameIntact) {
  const std::string patchUrl = Publish();
  Break();
  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  const std::size_t logged = FileLines(accessLog).size();
  HostSession repair;
  EXPECT_EQ(Repair(repair, patchUrl), 5) << repair.RawOutput();
  EXPECT_EQ(repair.Result(), "4");
  EXPECT_TRUE(HasLinePrefix(repair.Lines(), "message : 74 : ")) << repair.RawOutput();
  EXPECT_NE(repair.RawOutput().find("(4)\r\n"), std::string::npos) << repair.RawOutput();
  EXPECT_EQ(game_.Snapshot(), intact_);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
  // The check reports the bytes it has read of those of the right size.
  EXPECT_NE(std::find(repair.Lines().begin(), repair.Lines().end(), "text : Check game files..."), repair.Lines().end());
  // nginx logs a request once its reply is out, which may be after the launcher ended.
  ASSERT_TRUE(WaitUntil([&] { return FileRequestsSince(logged).size() >= 3; }, 5000));
  const std::vector<std::string> fetched = FileRequestsSince(logged);
  EXPECT_EQ(fetched.size(), 3u);
  for (const char* name : {"/Talvenor/data/a.txt ", "/Talvenor/data/big.bin ", "/Talvenor/data/sub/c.bin "}) {
    EXPECT_EQ(CountLinesWith(fetched, name), 1u) << name;
  }

  const std::size_t before = FileLines(accessLog).size();
  HostSession again;
  EXPECT_EQ(Repair(again, patchUrl), 6) << again.RawOutput();
  EXPECT_EQ(again.Result(), "5");
  EXPECT_TRUE(HasLinePrefix(again.Lines(), "message : 75 : ")) << again.RawOutput();
  EXPECT_EQ(game_.Snapshot(), intact_);
  // version.txt is asked for again; no game file is.
  ASSERT_TRUE(WaitUntil([&] { return CountLinesWith(FileLines(accessLog), "/" + server_ + "/version.txt ") >= 2; }, 5000));
  EXPECT_TRUE(FileRequestsSince(before).empty());
}

// The broken files match no delta's source, so each comes as its compressed whole file
// where the server has one; a.txt is too short for zstd to shrink and comes raw.
TEST_F(HostRepair, FetchesTheCompressedFormsOfTheBrokenFiles) {
  const std::string patchUrl = Publish("", true);
  Break();
  const std::size_t logged = FileLines(ServerEnv("TALV_NGINX_ACCESS_LOG_WIN")).size();
  HostSession repair;
  EXPECT_EQ(Repair(repair, patchUrl), 5) << repair.RawOutput();
  EXPECT_EQ(repair.Result(), "4");
  EXPECT_EQ(game_.Snapshot(), intact_);
  EXPECT_EQ(game_.InstalledVersion(), 2);
  ASSERT_TRUE(WaitUntil([&] { return FileRequestsSince(logged).size() + FileRequestsSince(logged, "Talvenor.forms").size() >= 3; },
                        5000));
  const std::vector<std::string> raw = FileRequestsSince(logged);
  const std::vector<std::string> forms = FileRequestsSince(logged, "Talvenor.forms");
  EXPECT_EQ(raw.size(), 1u);
  EXPECT_EQ(CountLinesWith(raw, "/Talvenor/data/a.txt "), 1u);
  EXPECT_EQ(forms.size(), 2u);
  for (const char* name : {"/Talvenor.forms/data/big.bin.zst ", "/Talvenor.forms/data/sub/c.bin.zst "}) {
    EXPECT_EQ(CountLinesWith(forms, name), 1u) << name;
  }
}

TEST_F(HostRepair, CancelDuringTheDownloadsLeavesTheGameAsItWas) {
  // 16 KiB every 200 ms: big.bin is still coming when the host cancels.
  const std::string patchUrl = Publish(ServerEnv("TALV_FAULT_HOST") + ":80/slow/16384/200/");
  Break();
  const SampleGame::Files broken = game_.Snapshot();
  HostSession repair;
  ASSERT_TRUE(repair.Start(game_.LauncherPath(), "repair patchurl:" + patchUrl, game_.GameDir()));
  ASSERT_TRUE(repair.WaitForLine("text : data\\big.bin")) << repair.RawOutput();
  repair.Send("cancel");
  EXPECT_EQ(repair.Finish(), 2) << repair.RawOutput();
  EXPECT_EQ(repair.Result(), "-1");
  EXPECT_TRUE(HasLinePrefix(repair.Lines(), "message : 11 : ")) << repair.RawOutput();
  // What arrived stays for the next repair, with the record that names it.
  bool onlyKept = false;
  EXPECT_EQ(OutsideKeptDownloads(game_.Snapshot(), &onlyKept), broken);
  EXPECT_TRUE(onlyKept);
  EXPECT_EQ(game_.InstalledVersion(), 2);
}

// Slow by design: the held file defeats SafeMoveFile's retries (30 s, twice).
TEST_F(HostRepair, FileThatCannotBeReplacedRollsBackAndLosesNothing) {
  const std::string patchUrl = Publish();
  Break();
  const SampleGame::Files broken = game_.Snapshot();
  // data\big.bin is backed up after data\a.txt, which is in the backup folder by then.
  ChildProcess holder;
  ASSERT_TRUE(StartHelper(holder, "hold_file", "\"" + game_.GameDir() + "\\data\\big.bin\" 150000"));
  HostSession repair;
  EXPECT_EQ(Repair(repair, patchUrl), 1) << repair.RawOutput();
  holder.Kill();
  EXPECT_EQ(repair.Result(), "0");
  EXPECT_TRUE(HasLinePrefix(repair.Lines(), "message : 49 : ")) << repair.RawOutput();
  bool onlyKept = false;
  EXPECT_EQ(OutsideKeptDownloads(game_.Snapshot(), &onlyKept), broken);
  EXPECT_TRUE(onlyKept);
}

}  // namespace
