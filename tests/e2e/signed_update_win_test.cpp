// Signed update documents end to end, in host mode against the loopback servers:
// Talvenor_signed.exe (the launcher with the test key of tests/support built in) patches
// and updates itself from trees signed by talvpack, and refuses every tree an attacker on
// the path could serve; the shipping Talvenor.exe, built without a key, asks the servers for
// nothing more than before.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "launcher/transfer/md5.h"
#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr std::uint32_t kRenamerMs = 60000;

const SampleGame::Files kRelease100 = {{"data\\a.txt", "one hundred"}, {"data\\same.txt", "keep"}};
const SampleGame::Files kRelease101 = {{"data\\a.txt", "one hundred and one"},
                                       {"data\\same.txt", "keep"},
                                       {"data\\b.bin", std::string(30000, 'b')}};

bool Talvpack(const std::string& arguments) {
  ProcessResult r = RunProcess("\"" + BinPath("talvpack.exe") + "\" " + arguments, "", 120000);
  return r.finished && r.exitCode == 0;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::size_t CountLinesWith(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

bool HasLinePrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// Replaces the first `from` in a file.
bool Edit(const std::string& path, const std::string& from, const std::string& to) {
  std::string text = ReadFileOr(path);
  const std::size_t at = text.find(from);
  if (at == std::string::npos) return false;
  return WriteFileBytes(path, text.replace(at, from.size(), to));
}

class SignedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(100, kRelease100)) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(101, kRelease101)) << game_.Why();
    Install();
    accessLog_ = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  }

  // Release 100 with the signed launcher in place of the shipping one.
  void Install(const char* launcher = "Talvenor_signed.exe") {
    ASSERT_TRUE(game_.Install(100));
    ASSERT_TRUE(CopyFileA(BinPath(launcher).c_str(), game_.LauncherPath().c_str(), FALSE));
    launcher_ = ReadFileOr(game_.LauncherPath());
    ASSERT_FALSE(launcher_.empty());
  }

  // Publishes `release` into a fresh web folder, signed with `key` unless it is empty;
  // returns the folder's name.
  std::string Publish(int release, const std::string& key, const std::string& extra = "") {
    const std::string name = "sig_" + std::to_string(TickMs()) + "_" + std::to_string(++served_);
    const std::string sign = key.empty() ? "" : "--sign-key " + Quoted(key) + " ";
    EXPECT_TRUE(game_.Publish(release, WwwFolder(name), ServerEnv("TALV_HTTP_HOST") + ":80/" + name, sign + extra));
    return name;
  }
  // Adds a newer launcher (this launcher's bytes and a tail) as version 206.
  void AddLauncher(const std::string& name, const std::string& key) {
    newLauncher_ = launcher_ + "-- launcher build 206 --\r\n";
    ASSERT_TRUE(WriteFileBytes(scratch_ / "new_launcher.exe", newLauncher_));
    ASSERT_TRUE(Talvpack("launcher --version 206 --sign-key " + Quoted(key) + " " + Quoted(scratch_ / "new_launcher.exe") +
                         " " + Quoted(WwwFolder(name))));
  }

  int Run(const std::string& name, HostSession& host) {
    logged_ = FileLines(accessLog_).size();
    EXPECT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(name), game_.GameDir()));
    return host.Finish();
  }

  // The paths the web server was asked for under /name/ since the last Run, in order.
  // nginx logs a request once its reply is out, which may be after the launcher ended:
  // wait until `last` shows.
  std::vector<std::string> Requests(const std::string& name, const std::string& last) {
    const std::string folder = "/" + name + "/";
    std::vector<std::string> paths;
    WaitUntil(
        [&] {
          std::vector<std::string> lines = FileLines(accessLog_);
          paths.clear();
          for (std::size_t i = std::min(logged_, lines.size()); i < lines.size(); ++i) {
            const std::size_t at = lines[i].find(folder);
            if (at == std::string::npos) continue;
            paths.push_back(lines[i].substr(at + folder.size(), lines[i].find(' ', at) - at - folder.size()));
          }
          return std::find(paths.begin(), paths.end(), last) != paths.end();
        },
        5000);
    return paths;
  }

  std::string LogFile() const { return LauncherLogFolder() + "\\launcher_log.txt"; }
  std::string TestKey() const { return BinPath("update_key_test.key"); }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  std::string launcher_;
  std::string newLauncher_;
  std::string accessLog_;
  std::size_t logged_ = 0;
  int served_ = 0;
};

TEST_F(SignedRun, SignedTreeUpdatesTheLauncherThenPatchesTheGame) {
  // The launcher update first: the patch information names launcher 206.
  const std::string update = Publish(100, TestKey(), "--launcher-version 206");
  AddLauncher(update, TestKey());
  HostSession host;
  EXPECT_EQ(Run(update, host), 4) << host.RawOutput();
  EXPECT_EQ(host.Result(), "2");
  EXPECT_TRUE(WaitUntil([&] { return ReadFileOr(game_.LauncherPath()) == newLauncher_; }, kRenamerMs));
  const std::vector<std::string> asked = Requests(update, "Talvenor_206.exe");
  EXPECT_EQ(CountLinesWith(asked, "patch_live.txt.minisig"), 1u);
  EXPECT_EQ(CountLinesWith(asked, "talvenor.txt.minisig"), 1u);
  EXPECT_EQ(game_.InstalledVersion(), 100);

  // The new launcher (the same key) patches from 100 to 101.
  const std::string patch = Publish(101, TestKey());
  HostSession next;
  EXPECT_EQ(Run(patch, next), 0) << next.RawOutput();
  EXPECT_EQ(next.Result(), "1");
  EXPECT_EQ(game_.InstalledVersion(), 101);
  EXPECT_EQ(ReadFileOr(game_.GameDir() + "\\data\\b.bin"), kRelease101.at("data\\b.bin"));
  const std::vector<std::string> patched = Requests(patch, "Talvenor/data/b.bin");
  // Each document is followed by its signature, before anything it names is fetched.
  const auto at = [&](const std::string& p) { return std::find(patched.begin(), patched.end(), p) - patched.begin(); };
  EXPECT_EQ(at("patch_live.txt.minisig"), at("patch_live.txt") + 1);
  EXPECT_EQ(at("version.txt.minisig"), at("version.txt") + 1);
  EXPECT_LT(at("version.txt.minisig"), at("Talvenor/data/b.bin"));
  EXPECT_EQ(CountLinesWith(patched, ".minisig"), 2u);
}

TEST_F(SignedRun, SignaturesComeFromTheFtpServerLikeTheManifest) {
  // patch_live.txt and its signature on the web server; version.txt, its signature and the
  // files on the FTP server.
  const std::string name = "sigftp_" + std::to_string(TickMs());
  const std::string files = ServerEnv("TALV_FTP_USER") + ":" + ServerEnv("TALV_FTP_PASSWORD") + "@" +
                            ServerEnv("TALV_FTP_HOST") + ":21/" + name;
  const std::string sign = "--sign-key " + Quoted(TestKey());
  ASSERT_TRUE(game_.Publish(101, WwwFolder(name), files, sign));
  ASSERT_TRUE(game_.Publish(101, FtpFolder(name), files, sign));
  HostSession host;
  EXPECT_EQ(Run(name, host), 0) << host.RawOutput();
  EXPECT_EQ(game_.InstalledVersion(), 101);

  // The same tree with the manifest's signature gone from the FTP server.
  Install();
  ASSERT_TRUE(DeleteFileA((FtpFolder(name) + "\\version.txt.minisig").c_str()));
  const SampleGame::Files before = game_.Snapshot();
  HostSession refused;
  EXPECT_EQ(Run(name, refused), 1) << refused.RawOutput();
  EXPECT_EQ(CountLinesWith(FileLines(LogFile()), "Signature of \"version.txt\" refused : signature not found."), 1u);
  EXPECT_EQ(game_.Snapshot(), before);
}

TEST_F(SignedRun, AttackersTreesChangeNothing) {
  const std::string otherKey = scratch_ / "other.key";
  ASSERT_TRUE(Talvpack("keygen " + Quoted(scratch_ / "other.pub") + " " + Quoted(otherKey)));
  // The attacker's own release, published where the real server is not.
  const std::string attacker = Publish(101, "");
  const std::string evil = "MZ the attacker's program";
  unsigned char evilDigest[kMd5DigestSize];
  char evilMd5[2 * kMd5DigestSize + 1];
  MD5Digest(evil.data(), evil.size(), evilDigest);
  FormatDigest(evilDigest, evilMd5);

  struct Case {
    const char* what;
    std::function<std::string()> serve;  // lays out the tree, returns its folder name
    int exitCode;
    const char* message;     // "message : N : " prefix
    const char* logLine;     // part of the one log line that names the document and reason
  };
  const Case cases[] = {
      {"version.txt changed after signing",
       [&] {
         const std::string name = Publish(101, TestKey());
         const std::string folder = WwwFolder(name);
         // One record now describes the attacker's file: its size and digest.
         const std::string manifest = ReadFileOr(folder + "\\version.txt");
         const std::string line = manifest.substr(manifest.find("data\\a.txt,"));
         const std::string record = line.substr(0, line.find("\r\n"));
         const std::string forged = "data\\a.txt," + std::to_string(evil.size()) + "," + evilMd5 + "," +
                                    record.substr(record.rfind(',') + 1);
         EXPECT_TRUE(Edit(folder + "\\version.txt", record, forged));
         EXPECT_TRUE(WriteFileBytes(folder + "\\Talvenor\\data\\a.txt", evil));
         return name;
       },
       1, "message : 37 : ", "Signature of \"version.txt\" refused : signature does not match the document."},
      {"signatures made with another key",
       [&] { return Publish(101, otherKey); },
       1, "message : 48 : ", "/patch_live.txt\" refused : signed with another key."},
      {"a truncated signature",
       [&] {
         const std::string name = Publish(101, TestKey());
         const std::string sig = WwwFolder(name) + "\\version.txt.minisig";
         EXPECT_TRUE(WriteFileBytes(sig, ReadFileOr(sig).substr(0, 100)));
         return name;
       },
       1, "message : 37 : ", "Signature of \"version.txt\" refused : truncated signature."},
      {"no talvenor.txt.minisig beside a newer launcher",
       [&] {
         const std::string name = Publish(100, TestKey(), "--launcher-version 206");
         AddLauncher(name, TestKey());
         EXPECT_TRUE(DeleteFileA((WwwFolder(name) + "\\talvenor.txt.minisig").c_str()));
         return name;
       },
       1, "message : 46 : ", "Signature of \"talvenor.txt\" refused : signature not found."},
      {"patch_live.txt naming another server",
       [&] {
         const std::string name = Publish(101, TestKey());
         EXPECT_TRUE(Edit(WwwFolder(name) + "\\patch_live.txt", "/" + name + "\r\n", "/" + attacker + "\r\n"));
         return name;
       },
       1, "message : 48 : ", "/patch_live.txt\" refused : signature does not match the document."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Install();
    const SampleGame::Files before = game_.Snapshot();
    const std::string name = c.serve();
    HostSession host;
    EXPECT_EQ(Run(name, host), c.exitCode) << host.RawOutput();
    EXPECT_EQ(host.Result(), "0");
    EXPECT_TRUE(HasLinePrefix(host.Lines(), c.message)) << host.RawOutput();
    const std::vector<std::string> log = FileLines(LogFile());  // each run begins a new log
    EXPECT_EQ(CountLinesWith(log, c.logLine), 1u) << c.logLine;
    EXPECT_EQ(CountLinesWith(log, "Signature of "), 1u);
    // Nothing fetched, moved or started on the strength of the refused document.
    EXPECT_EQ(game_.Snapshot(), before);
    EXPECT_EQ(game_.InstalledVersion(), 100);
    EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == launcher_);
    EXPECT_FALSE(PathExists(game_.GameDir() + "\\Talvenor_206.exe"));
    EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
    const std::vector<std::string> asked = Requests(name, "patch_live.txt.minisig");
    EXPECT_EQ(CountLinesWith(asked, "Talvenor/"), 0u);
    EXPECT_EQ(CountLinesWith(asked, "Talvenor_206.exe"), 0u);
  }
  // The attacker's server was never asked for anything.
  EXPECT_TRUE(Requests(attacker, "patch_live.txt").empty());
}

TEST_F(SignedRun, SelfExtractingPatchNeedsOnlySignedPatchInformation) {
  // The archive inside the launcher is not fetched and carries no signature; the patch
  // information the run reads first is checked as everywhere else.
  const std::string files = scratch_ / "patch_files";
  const std::string zip = scratch_ / "patch.zip";
  CreateDirectoryA(files.c_str(), nullptr);
  ASSERT_TRUE(WriteTree(files, {{"data\\a.txt", "from the archive"}}));
  ASSERT_TRUE(Talvpack("zip " + Quoted(files) + " -o " + Quoted(zip)));
  struct Case {
    const char* what;
    bool signedInformation;
    int exitCode;
    const char* message;
    int version;
  };
  for (const Case& c : {Case{"signed", true, 0, "message : 21 : ", 101},
                        Case{"signature removed", false, 1, "message : 48 : ", 100}}) {
    SCOPED_TRACE(c.what);
    Install();
    ASSERT_TRUE(Talvpack("exepatch --launcher " + Quoted(BinPath("Talvenor_signed.exe")) + " --from 100 --to 101 --zip " +
                         Quoted(zip) + " -o " + Quoted(game_.LauncherPath())));
    const std::string name = Publish(101, TestKey());
    if (!c.signedInformation) {
      ASSERT_TRUE(DeleteFileA((WwwFolder(name) + "\\patch_live.txt.minisig").c_str()));
    }
    HostSession host;
    EXPECT_EQ(Run(name, host), c.exitCode) << host.RawOutput();
    EXPECT_TRUE(HasLinePrefix(host.Lines(), c.message)) << host.RawOutput();
    EXPECT_EQ(game_.InstalledVersion(), c.version);
    EXPECT_EQ(ReadFileOr(game_.GameDir() + "\\data\\a.txt") == "from the archive", c.version == 101);
  }
}

TEST_F(SignedRun, WithoutAKeyTheRequestsAreThoseOfAnUnsignedTree) {
  std::vector<std::vector<std::string>> requests;
  for (const std::string& key : {std::string(), TestKey()}) {
    SCOPED_TRACE(key);
    Install("Talvenor.exe");
    const std::string name = Publish(101, key);
    HostSession host;
    EXPECT_EQ(Run(name, host), 0) << host.RawOutput();
    EXPECT_EQ(game_.InstalledVersion(), 101);
    requests.push_back(Requests(name, "Talvenor/data/b.bin"));
  }
  EXPECT_EQ(requests[1], requests[0]);
  EXPECT_EQ(CountLinesWith(requests[1], "minisig"), 0u);
  EXPECT_EQ(requests[0].front(), "patch_live.txt");
  EXPECT_EQ(CountLinesWith(requests[0], "version.txt"), 1u);
}

}  // namespace
