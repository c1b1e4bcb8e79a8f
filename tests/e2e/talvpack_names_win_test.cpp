// Chinese names end to end: a game folder whose file and folder names are Traditional
// Chinese (許 and 功 end in the byte of "\") is published by talvpack.exe and patched by the
// real Talvenor.exe in code page 950, from the server (HTTP and FTP) and from a
// self-extracting patch; the files arrive under their names with their contents. A name
// without a Big5 form is refused before anything is written.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

// In code page 950, as this program's narrow names are.
const std::string kData = "\xB8\xEA\xAE\xC6";  // 資料
const std::string kXu = "\xB3\x5C";            // 許
const SampleGame::Files kRelease1 = {{"data\\a.txt", "one"}};
const SampleGame::Files kRelease2 = {{"data\\a.txt", "two"},
                                     {kData + "\\\xB4\xFA\xB8\xD5.txt", "test"},  // 資料\測試.txt
                                     {kXu + "\\\xA5\x5C.dat", "function"},        // 許\功.dat
                                     {kXu + "\\" + kXu + ".txt", "xu"}};          // 許\許.txt

ProcessResult Talvpack(const std::string& args) {
  return RunProcess("\"" + BinPath("talvpack.exe") + "\" " + args, "", 120000);
}

class ChineseNames : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(1, kRelease1)) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(2, kRelease2)) << game_.Why();
    ASSERT_TRUE(game_.Install(1));
    server_ = "names_" + std::to_string(TickMs());
  }

  // Runs the game's launcher in host mode to its end.
  void Patch() {
    HostSession host;
    ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(server_), game_.GameDir()));
    EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
    EXPECT_EQ(host.Result(), "1") << host.RawOutput();
  }

  void ExpectRelease2() {
    for (const auto& [name, content] : kRelease2) EXPECT_EQ(ReadFileOr(game_.GameDir() + "\\" + name), content) << name;
    EXPECT_EQ(game_.InstalledVersion(), 2);
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  std::string server_;
};

}  // namespace

// The tree talvpack.exe writes keeps the files under their Unicode names, which a Windows
// server finds for a request read in the system code page: the fault server's "cp950" mode
// serves it so. (The host build names them by the bytes themselves, for Linux servers.)
TEST_F(ChineseNames, PublishedTreePatchesThemUnderTheirNames) {
  ASSERT_TRUE(game_.Publish(2, WwwFolder(server_), ServerEnv("TALV_FAULT_HOST") + ":80/cp950/" + server_));
  const ProcessResult verify = Talvpack("verify \"" + WwwFolder(server_) + "\"");
  EXPECT_EQ(verify.exitCode, 0u) << verify.output;
  ASSERT_NO_FATAL_FAILURE(Patch());
  ExpectRelease2();
}

// The same tree over FTP, from a server that reads a request in code page 950 as a Windows
// FTP server does: the fault FTP server's "cp950" folder. pyftpdlib cannot stand in here: it
// reads every command as UTF-8 (undecodable bytes replaced), so the launcher's Big5 names
// match no file, whether the tree names them by those bytes or by their Unicode names.
TEST_F(ChineseNames, PublishedTreePatchesThemOverFtp) {
  const std::string files = ServerEnv("TALV_FTP_USER") + ":" + ServerEnv("TALV_FTP_PASSWORD") + "@" +
                            ServerEnv("TALV_FAULT_HOST") + ":21/cp950/" + server_;
  // patch_live.txt stays on the web server; every file of the game comes over FTP.
  ASSERT_TRUE(game_.Publish(2, WwwFolder(server_), files));
  ASSERT_TRUE(game_.Publish(2, FtpFolder(server_), files));
  RemoveTree(WwwFolder(server_) + "\\Talvenor");
  ASSERT_TRUE(DeleteFileA((WwwFolder(server_) + "\\version.txt").c_str()));
  const ProcessResult verify = Talvpack("verify \"" + FtpFolder(server_) + "\"");
  EXPECT_EQ(verify.exitCode, 0u) << verify.output;
  ASSERT_NO_FATAL_FAILURE(Patch());
  ExpectRelease2();
}

// The smaller forms of Chinese-named files: a delta of 許\功.dat (changed) and the compressed
// 資料\測試.txt (new) are published, served and decoded under their names.
TEST(ChineseNameForms, DeltaAndCompressedFileArriveUnderTheirNames) {
  if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
  std::string pak;
  for (int i = 0; pak.size() < 200000; ++i) pak += "item_" + std::to_string(i * 7919 % 100003) + ",gold\r\n";
  std::string changed = pak;
  changed.insert(90000, "new asset row\r\n");
  std::string table;
  for (int i = 0; table.size() < 60000; ++i) table += "row " + std::to_string(i) + "\r\n";
  const std::string gong = kXu + "\\\xA5\x5C.dat";           // 許\功.dat
  const std::string test = kData + "\\\xB4\xFA\xB8\xD5.txt";  // 資料\測試.txt
  ScopedTempDir scratch;
  SampleGame game(scratch.path());
  ASSERT_TRUE(game.AddRelease(1, {{gong, pak}})) << game.Why();
  ASSERT_TRUE(game.AddRelease(2, {{gong, changed}, {test, table}})) << game.Why();
  ASSERT_TRUE(game.Install(1));
  const std::string server = "names_forms_" + std::to_string(TickMs());
  const std::string files = ServerEnv("TALV_FAULT_HOST") + ":80/cp950/" + server;
  const std::string earlier = scratch.path() + "\\published_1";
  ASSERT_TRUE(game.Publish(1, earlier, files)) << game.Why();
  ASSERT_TRUE(game.Publish(2, WwwFolder(server), files, "--delta-from \"" + earlier + "\"")) << game.Why();
  const ProcessResult verify = Talvpack("verify \"" + WwwFolder(server) + "\" --delta-from \"" + earlier + "\"");
  EXPECT_EQ(verify.exitCode, 0u) << verify.output;

  const std::string requests = ServerEnv("TALV_WWW_ROOT_WIN") + "\\..\\fault-requests.log";
  const std::size_t before = FileLines(requests).size();
  HostSession host;
  ASSERT_TRUE(host.Start(game.LauncherPath(), "patchurl:" + HttpBase(server), game.GameDir()));
  EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
  EXPECT_EQ(ReadFileOr(game.GameDir() + "\\" + gong), changed);
  EXPECT_EQ(ReadFileOr(game.GameDir() + "\\" + test), table);
  EXPECT_EQ(game.InstalledVersion(), 2);
  std::vector<std::string> lines = FileLines(requests);
  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines.size())));
  std::size_t forms = 0;
  for (const std::string& l : lines) {
    if (l.find("/" + server + "/") == std::string::npos) continue;
    EXPECT_EQ(l.find("/" + server + "/Talvenor/"), std::string::npos) << "a whole file travelled: " << l;
    forms += l.find("/" + server + "/Talvenor.forms/") != std::string::npos;
  }
  EXPECT_EQ(forms, 2u);
}

TEST_F(ChineseNames, SelfExtractingPatchWritesThemUnderTheirNames) {
  const std::string zip = scratch_ / "patch.zip";
  ProcessResult r = Talvpack("zip \"" + game_.ReleaseDir(2) + "\" -o \"" + zip + "\"");
  ASSERT_EQ(r.exitCode, 0u) << r.output;
  r = Talvpack("exepatch --launcher \"" + BinPath("Talvenor.exe") + "\" --from 1 --to 2 --zip \"" + zip + "\" -o \"" +
               game_.LauncherPath() + "\"");
  ASSERT_EQ(r.exitCode, 0u) << r.output;
  CreateDirectoryA(WwwFolder(server_).c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(WwwFolder(server_) + "\\patch_live.txt",
                             "patch_accept 1\r\npatch_version 2\r\nftp " + ServerEnv("TALV_HTTP_HOST") + ":80/" +
                                 server_ + "\r\nlauncher_version 205\r\nlogin 127.0.0.1:11000\r\n"));
  ASSERT_NO_FATAL_FAILURE(Patch());
  ExpectRelease2();
}

// The Windows build walks folders by their UTF-16 names: one without a Big5 form (测试 is
// simplified) is named in the refusal, and nothing is written.
TEST(TalvpackWindowsNames, NameWithoutBig5FormIsRefusedBeforeAnythingIsWritten) {
  ScopedTempDir scratch;
  const std::string game = scratch / "game";
  CreateDirectoryA(game.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(game + "\\client.exe", "MZ"));
  const std::wstring wide = std::wstring(game.begin(), game.end()) + L"\\\x6D4B\x8BD5.txt";
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "x", 1, &written, nullptr);
  CloseHandle(file);
  const struct {
    const char* what;
    std::string args, out;
  } cases[] = {
      {"publish", "publish --version 2 --login l --files-address f \"" + game + "\" \"" + (scratch / "tree") + "\"",
       scratch / "tree"},
      {"zip", "zip \"" + game + "\" -o \"" + (scratch / "patch.zip") + "\"", scratch / "patch.zip"},
      {"installer", "installer --version 2 --launcher \"" + BinPath("Talvenor.exe") + "\" \"" + game + "\" \"" +
                        (scratch / "image") + "\"",
       scratch / "image"},
      {"manifest", "manifest --version 2 \"" + game + "\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProcessResult r = Talvpack(c.args);
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0u);
    EXPECT_NE(r.output.find(".txt\" has no code page 950 (Big5) form"), std::string::npos) << r.output;
    if (!c.out.empty()) {
      EXPECT_FALSE(PathExists(c.out));
    }
  }
}
