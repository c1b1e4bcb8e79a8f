// The self-extracting patch and the development client end to end: a Talvenor.exe written
// by talvpack exepatch (or a plain one given "devftp:") runs in host mode against the
// loopback servers, and the game folder is compared file by file afterwards.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr int kBegin = 3;
constexpr int kEnd = 5;

// The installation at kBegin and the archive that brings it to kEnd. The archive's empty
// blank.txt has no data: it is not extracted, so the installation keeps its own copy.
const SampleGame::Files kBeginFiles = {
    {"data\\a.txt", "three"}, {"data\\blank.txt", "kept copy"}, {"data\\same.txt", "same"}};
const SampleGame::Files kPatchFiles = {
    {"data\\a.txt", "five"}, {"data\\new\\b.txt", "new"}, {"data\\blank.txt", ""}};

::testing::AssertionResult Talvpack(const std::string& args) {
  ProcessResult r = RunProcess("\"" + BinPath("talvpack.exe") + "\" " + args, "", 120000);
  if (r.finished && r.exitCode == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "talvpack " << args << "\n" << r.output;
}

std::string VersionBytes(int version) {
  std::string bytes(4, '\0');
  bytes[0] = static_cast<char>(version);
  return bytes;
}

bool HasLine(const HostSession& host, const std::string& prefix, const std::string& suffix = "") {
  for (const std::string& line : host.Lines()) {
    if (line.rfind(prefix, 0) == 0 && line.size() >= prefix.size() + suffix.size() &&
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return true;
    }
  }
  return false;
}

class ExePatchRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(kBegin, kBeginFiles)) << game_.Why();
    ASSERT_TRUE(game_.Install(kBegin));
    server_ = "exepatch_" + std::to_string(TickMs());
  }

  // patch_live.txt naming `latest`; the files address is never used by these runs.
  void ServePatchInfo(int latest) {
    CreateDirectoryA(WwwFolder(server_).c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(WwwFolder(server_) + "\\patch_live.txt",
                               "patch_accept 1\r\npatch_version " + std::to_string(latest) + "\r\nftp " +
                                   ServerEnv("TALV_HTTP_HOST") + ":80/" + server_ + "\r\nlauncher_version 205\r\n"
                                   "login 127.0.0.1:11000\r\n"));
  }

  // Packs files with talvpack zip into scratch\name.zip; "" when that failed.
  std::string Pack(const std::string& name, const SampleGame::Files& files, int level = 6) {
    const std::string source = scratch_ / (name + "_files");
    CreateDirectoryA(source.c_str(), nullptr);
    const std::string zip = scratch_ / (name + ".zip");
    if (!WriteTree(source, files)) return "";
    if (!Talvpack("zip \"" + source + "\" -o \"" + zip + "\" --level " + std::to_string(level))) return "";
    return zip;
  }

  // Replaces the game's launcher by the built one carrying the archive of files for kBegin
  // to kEnd, then damages the archive: every `from` behind the launcher's own bytes becomes
  // `to` (of the same length).
  void WritePatchedLauncher(const SampleGame::Files& files, int level = 6, const std::string& from = "",
                            const std::string& to = "") {
    const std::string zip = Pack("patch", files, level);
    ASSERT_FALSE(zip.empty());
    ASSERT_TRUE(Talvpack("exepatch --launcher \"" + BinPath("Talvenor.exe") + "\" --from " + std::to_string(kBegin) +
                         " --to " + std::to_string(kEnd) + " --zip \"" + zip + "\" -o \"" + game_.LauncherPath() +
                         "\""));
    if (from.empty()) return;
    ASSERT_EQ(from.size(), to.size());
    std::string image = ReadFileOr(game_.LauncherPath());
    std::size_t at = ReadFileOr(BinPath("Talvenor.exe")).size();
    int replaced = 0;
    for (; (at = image.find(from, at)) != std::string::npos; at += to.size(), ++replaced) {
      image.replace(at, from.size(), to);
    }
    ASSERT_GT(replaced, 0) << from;
    ASSERT_TRUE(WriteFileBytes(game_.LauncherPath(), image));
  }

  // Runs the game's launcher in host mode to its end; its exit code.
  int Run(HostSession& host, const std::string& options = "") {
    if (!host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(server_) + " " + options, game_.GameDir())) {
      ADD_FAILURE() << "the launcher did not start";
      return -1;
    }
    return host.Finish();
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  std::string server_;
};

}  // namespace

TEST_F(ExePatchRun, BringsAnInstallationInTheRangeToTheEndVersion) {
  struct Case {
    int installed;
    const char* options;
  };
  // The end version itself is patched again only when forced; its files are the old ones
  // here, so a run that skipped the archive would show.
  for (const Case& c : {Case{kBegin, ""}, Case{kEnd, "force_patch"}}) {
    SCOPED_TRACE(c.installed);
    ASSERT_TRUE(game_.Install(kBegin));
    ASSERT_TRUE(WriteVersionFile(game_.GameDir(), c.installed));
    ASSERT_NO_FATAL_FAILURE(WritePatchedLauncher(kPatchFiles));
    ServePatchInfo(kEnd);
    SampleGame::Files expected = game_.Snapshot();
    for (const auto& file : kPatchFiles) {
      if (!file.second.empty()) expected[file.first] = file.second;
    }
    expected["version.dat"] = VersionBytes(kEnd);

    HostSession host;
    EXPECT_EQ(Run(host, c.options), 0) << host.RawOutput();
    EXPECT_EQ(host.Result(), "1");
    EXPECT_TRUE(HasLine(host, "message : 21 : ")) << host.RawOutput();
    EXPECT_EQ(game_.Snapshot(), expected);  // also: no temporary folder left behind
    // The host decides what runs next: without "play" the client is not started.
    EXPECT_FALSE(PathExists(game_.GameDir() + "\\client.exe.cmdline"));
  }
}

TEST_F(ExePatchRun, InstallationOutsideTheRangeOrCurrentIsLeftAlone) {
  struct Case {
    int installed;
    const char* message;
    const char* result;
    int exitCode;
  };
  // The archive's end record is broken: a run that opened it would report "(6)".
  ASSERT_NO_FATAL_FAILURE(WritePatchedLauncher(kPatchFiles, 6, std::string("PK\x05\x06", 4), "PK\x05\x07"));
  ServePatchInfo(kEnd);
  for (const Case& c : {Case{kBegin - 1, "message : 19 : ", "0", 1}, Case{kEnd, "message : 12 : ", "1", 0}}) {
    SCOPED_TRACE(c.installed);
    ASSERT_TRUE(WriteVersionFile(game_.GameDir(), c.installed));
    const SampleGame::Files before = game_.Snapshot();

    HostSession host;
    EXPECT_EQ(Run(host), c.exitCode) << host.RawOutput();
    EXPECT_EQ(host.Result(), c.result);
    EXPECT_TRUE(HasLine(host, c.message)) << host.RawOutput();
    EXPECT_FALSE(HasLine(host, "message : 37 : ")) << host.RawOutput();
    EXPECT_FALSE(HasLine(host, "text : Extract patch file...")) << host.RawOutput();
    EXPECT_EQ(game_.Snapshot(), before);
  }
}

TEST_F(ExePatchRun, ArchiveThatCannotBeExtractedChangesNothing) {
  struct Case {
    const char* what;
    std::string from, to;
    const char* code;
  };
  // Stored, so that the data can be damaged in place; a.txt comes first and is extracted
  // before the failure.
  const SampleGame::Files files = {
      {"data\\a.txt", "five"}, {"data\\z.txt", "payload to damage"}, {"~~\\~~\\evil.txt", "outside?"}};
  const Case cases[] = {
      {"damaged entry data", "payload to damage", "payload to DAMAGE", "(7)"},
      // The name as Python's zipfile writes it on Linux, two folders above the temporary one.
      {"name leaving the folder", "~~/~~/evil.txt", "..\\..\\evil.txt", "(7)"},
      {"broken end record", std::string("PK\x05\x06", 4), "PK\x05\x07", "(6)"},
  };
  ServePatchInfo(kEnd);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(WritePatchedLauncher(files, 0, c.from, c.to));
    const SampleGame::Files before = game_.Snapshot();

    HostSession host;
    EXPECT_EQ(Run(host), 1) << host.RawOutput();
    EXPECT_EQ(host.Result(), "0");
    EXPECT_TRUE(HasLine(host, "message : 37 : ", c.code)) << host.RawOutput();
    EXPECT_EQ(game_.Snapshot(), before);
    EXPECT_EQ(game_.InstalledVersion(), kBegin);
    EXPECT_FALSE(PathExists(scratch_ / "evil.txt"));
  }
}

TEST_F(ExePatchRun, DevelopmentClientIsFetchedOverFtpIntoTheGameFolder) {
  struct Case {
    const char* credentials;
    SampleGame::Files files;
  };
  // No clientd.exe in the game: the current installation fetches the development client.
  const Case cases[] = {
      {"talv:secret@", {{"clientd.exe", "MZ development client"}, {"dev\\tools.txt", "tools"}}},
      {"", {}},  // anonymous, and an archive without entries
  };
  ServePatchInfo(kBegin);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.credentials);
    const std::string folder = "dev_" + std::to_string(TickMs());
    const std::string served = ServerEnv("TALV_FTP_ROOT_WIN") + "\\" + folder;
    CreateDirectoryA(served.c_str(), nullptr);
    const std::string zip = Pack(folder, c.files);
    ASSERT_FALSE(zip.empty());
    ASSERT_TRUE(CopyFileA(zip.c_str(), (served + "\\DevClient.zip").c_str(), FALSE));
    SampleGame::Files expected = game_.Snapshot();
    for (const auto& file : c.files) expected[file.first] = file.second;

    HostSession host;
    EXPECT_EQ(Run(host, "devftp:" + std::string(c.credentials) + ServerEnv("TALV_FTP_HOST") + ":21/" + folder), 0)
        << host.RawOutput();
    EXPECT_EQ(host.Result(), "1");
    EXPECT_TRUE(HasLine(host, "text : Extracting dev client...")) << host.RawOutput();
    EXPECT_FALSE(HasLine(host, "message : ")) << host.RawOutput();
    EXPECT_EQ(game_.Snapshot(), expected);  // also: the downloaded archive is gone
    RemoveTree(game_.GameDir() + "\\dev");
    DeleteFileA((game_.GameDir() + "\\clientd.exe").c_str());
  }
}

TEST_F(ExePatchRun, FolderEntriesOfAPythonArchiveAreNotFiles) {
  // zipfile deflates the empty data of "emptydir/" to two bytes; extracted as a file, it
  // could not be moved into place and the whole patch was rolled back.
  std::string samples = std::getenv("TALV_BUILD_DIR") != nullptr ? std::getenv("TALV_BUILD_DIR") : "";
  for (char& c : samples) {
    if (c == '/') c = '\\';
  }
  const std::string zip = (samples.rfind("\\", 0) == 0 ? "Z:" : "") + samples + "\\zip-samples\\folders.zip";
  ASSERT_TRUE(PathExists(zip)) << "run through ctest: the zip_samples fixture writes it";
  ASSERT_TRUE(Talvpack("exepatch --launcher \"" + BinPath("Talvenor.exe") + "\" --from " + std::to_string(kBegin) +
                       " --to " + std::to_string(kEnd) + " --zip \"" + zip + "\" -o \"" + game_.LauncherPath() + "\""));
  ServePatchInfo(kEnd);
  SampleGame::Files expected = game_.Snapshot();
  expected["emptydir\\inside.txt"] = "inside the folder";
  expected["top.txt"] = "top level";
  expected["version.dat"] = VersionBytes(kEnd);

  HostSession host;
  EXPECT_EQ(Run(host), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1");
  EXPECT_EQ(game_.Snapshot(), expected);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\back"));
}
