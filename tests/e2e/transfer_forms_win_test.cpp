// End-to-end runs of Talvenor.exe in host mode against a tree published with --delta-from:
// which forms travel (the servers' logs), that the game ends byte for byte at the release
// whatever fails on the way, and that a tree without the index is patched as always.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

// Text-like bytes that zstd shrinks a few times over, as game tables and scripts.
std::string Words(std::size_t n, unsigned seed) {
  static const char* words[] = {"sword", "potion", "dragon", "=", "10", "\r\n", "quest", "gold", ",", "npc_"};
  std::mt19937 rng(seed);
  std::string out;
  while (out.size() < n) out += words[rng() % 10] + std::to_string(rng() % 100);
  out.resize(n);
  return out;
}

SampleGame::Files Release(int version) {
  std::string pak = Words(300000, 1);
  std::string table = Words(40000, 2);
  SampleGame::Files files = {{"data\\same.txt", "unchanged"}};
  if (version >= 101) {
    pak.insert(100000, Words(3000, 3));  // an asset inserted
    table += "new row\r\n";
  }
  if (version >= 102) {
    pak.replace(250000, 500, Words(500, 4));  // an asset changed
    files["data\\new.bin"] = Words(50000, 5);
  }
  files["data\\a.pak"] = pak;
  files["data\\table.txt"] = table;
  return files;
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

struct Scenario {
  const char* name;
  const char* transport;  // "http" or "ftp"
  bool signedLauncher;
  // What the tree gets: "" as published, "no index" (published without --delta-from),
  // "missing index" (announced, then deleted), "modified game", "tampered delta",
  // "unsigned index", "wrongly signed index", "newer launcher" (the patch information names
// launcher 206 and the tree holds it: a first run updates the launcher as always, then the
// tree is set back to 205 and the new launcher patches).
  const char* twist;
  std::vector<std::string> expected;  // server paths fetched for the files (HTTP), in order
  bool formsUsed;                     // the log names forms and what they saved
};

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> s = {
      {"deltas", "http", false, "",
       {"Talvenor.forms/data/a.pak.from-", "Talvenor.forms/data/new.bin.zst", "Talvenor.forms/data/table.txt.from-"},
       true},
      {"modified", "http", false, "modified game",
       {"Talvenor.forms/data/a.pak.zst", "Talvenor.forms/data/new.bin.zst", "Talvenor.forms/data/table.txt.from-"},
       true},
      {"tampered", "http", false, "tampered delta",
       {"Talvenor.forms/data/a.pak.from-", "Talvenor.forms/data/a.pak.zst", "Talvenor.forms/data/new.bin.zst",
        "Talvenor.forms/data/table.txt.from-"},
       true},
      {"no_index", "http", false, "no index", {"Talvenor/data/a.pak", "Talvenor/data/new.bin", "Talvenor/data/table.txt"},
       false},
      {"missing_index", "http", false, "missing index",
       {"Talvenor/data/a.pak", "Talvenor/data/new.bin", "Talvenor/data/table.txt"}, false},
      {"signed", "http", true, "",
       {"Talvenor.forms/data/a.pak.from-", "Talvenor.forms/data/new.bin.zst", "Talvenor.forms/data/table.txt.from-"},
       true},
      {"unsigned", "http", true, "unsigned index",
       {"Talvenor/data/a.pak", "Talvenor/data/new.bin", "Talvenor/data/table.txt"}, false},
      {"wrongly_signed", "http", true, "wrongly signed index",
       {"Talvenor/data/a.pak", "Talvenor/data/new.bin", "Talvenor/data/table.txt"}, false},
      {"ftp", "ftp", false, "", {}, true},
      {"self_update", "http", false, "newer launcher",
       {"Talvenor.forms/data/a.pak.from-", "Talvenor.forms/data/new.bin.zst", "Talvenor.forms/data/table.txt.from-"},
       true},
  };
  return s;
}

class FormsRun : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    for (int v : {100, 101, 102}) ASSERT_TRUE(game_.AddRelease(v, Release(v))) << game_.Why();
    ASSERT_TRUE(game_.Install(100));
    if (GetParam().signedLauncher) {
      ASSERT_TRUE(CopyFileA(BinPath("Talvenor_signed.exe").c_str(), game_.LauncherPath().c_str(), FALSE));
    }
  }

  // The update run of a tree that names launcher 206: the launcher is replaced before any
  // game file or form is asked for, as on a tree without forms. The tree then names 205 again.
  void UpdateTheLauncher(const std::string& tree, const std::string& name, const std::string& accessLog) {
    const std::string newLauncher = ReadFileOr(game_.LauncherPath()) + "-- launcher build 206 --\r\n";
    const std::string built = scratch_.path() + "\\new_launcher.exe";
    ASSERT_TRUE(WriteFileBytes(built, newLauncher));
    const ProcessResult packed = RunProcess("\"" + BinPath("talvpack.exe") + "\" launcher --version 206 " + Quoted(built) +
                                            " " + Quoted(tree), "", 120000);
    ASSERT_TRUE(packed.finished && packed.exitCode == 0);
    const std::size_t logged = FileLines(accessLog).size();
    HostSession host;
    ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(name), game_.GameDir()));
    EXPECT_EQ(host.Finish(), 4) << host.RawOutput();
    EXPECT_EQ(host.Result(), "2");
    EXPECT_TRUE(WaitUntil([&] { return ReadFileOr(game_.LauncherPath()) == newLauncher; }, 60000));
    // renamer deletes itself once done.
    EXPECT_TRUE(WaitUntil(
        [&] {
          WIN32_FIND_DATAA found;
          HANDLE find = FindFirstFileA((game_.GameDir() + "\\ren*.exe").c_str(), &found);
          if (find == INVALID_HANDLE_VALUE) return true;
          FindClose(find);
          return false;
        },
        60000));
    EXPECT_EQ(game_.InstalledVersion(), 100);
    for (const std::string& path : ServedPaths(accessLog, logged, name)) {
      EXPECT_TRUE(path == "patch_live.txt" || path == "talvenor.txt" || path == "Talvenor_206.exe") << path;
    }
    std::string info = ReadFileOr(tree + "\\patch_live.txt");
    const std::size_t at = info.find("launcher_version 206");
    ASSERT_NE(at, std::string::npos) << info;
    info.replace(at, std::strlen("launcher_version 206"), "launcher_version 205");
    ASSERT_TRUE(WriteFileBytes(tree + "\\patch_live.txt", info));
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
};

TEST_P(FormsRun, EndsAtTheRelease) {
  const Scenario& s = GetParam();
  const std::string name = std::string("forms_") + s.name + "_" + std::to_string(TickMs());
  const bool ftp = std::string(s.transport) == "ftp";
  const std::string files = ftp ? ServerEnv("TALV_FTP_USER") + ":" + ServerEnv("TALV_FTP_PASSWORD") + "@" +
                                      ServerEnv("TALV_FTP_HOST") + ":21/" + name
                                : ServerEnv("TALV_HTTP_HOST") + ":80/" + name;
  const std::string earlier100 = scratch_.path() + "\\t100", earlier101 = scratch_.path() + "\\t101";
  ASSERT_TRUE(game_.Publish(100, earlier100, files)) << game_.Why();
  ASSERT_TRUE(game_.Publish(101, earlier101, files)) << game_.Why();
  const std::string twist = s.twist;
  std::string options;
  if (twist != "no index") options = "--delta-from " + Quoted(earlier100) + " --delta-from " + Quoted(earlier101);
  if (twist == "newer launcher") options += " --launcher-version 206";
  if (s.signedLauncher) options += " --sign-key " + Quoted(BinPath("update_key_test.key"));
  const std::string tree = ftp ? FtpFolder(name) : WwwFolder(name);
  ASSERT_TRUE(game_.Publish(102, tree, files, options)) << game_.Why();
  if (ftp) {
    ASSERT_TRUE(game_.Publish(102, WwwFolder(name), files, options)) << game_.Why();  // patch_live.txt
  }

  if (twist == "missing index") {
    ASSERT_TRUE(DeleteFileA((tree + "\\forms.txt").c_str()));
  } else if (twist == "modified game") {
    ASSERT_TRUE(WriteFileBytes(game_.GameDir() + "\\data\\a.pak", Words(300000, 9)));
  } else if (twist == "tampered delta") {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((tree + "\\Talvenor.forms\\data\\a.pak.from-*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    const std::string path = tree + "\\Talvenor.forms\\data\\" + found.cFileName;
    std::string bytes = ReadFileOr(path);
    ASSERT_GT(bytes.size(), 200u);
    bytes[150] ^= 0x01;
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    // The index keeps the form's old digest: the fetched form fails its check.
  } else if (twist == "unsigned index") {
    ASSERT_TRUE(DeleteFileA((tree + "\\forms.txt.minisig").c_str()));
  } else if (twist == "wrongly signed index") {
    ASSERT_TRUE(WriteFileBytes(tree + "\\forms.txt.minisig", ReadFileOr(tree + "\\version.txt.minisig")));
  }

  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  if (twist == "newer launcher") {
    ASSERT_NO_FATAL_FAILURE(UpdateTheLauncher(tree, name, accessLog));
  }
  const std::size_t logged = FileLines(accessLog).size();
  const std::string launcherLog = LauncherLogFolder() + "\\launcher_log.txt";
  HostSession host;
  ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(name), game_.GameDir()));
  EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1");

  SampleGame::Files want = game_.ReleaseFiles(102);
  want["version.dat"] = std::string("\x66\x00\x00\x00", 4);
  EXPECT_EQ(game_.Snapshot(), want);
  EXPECT_EQ(game_.InstalledVersion(), 102);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));

  const std::vector<std::string> log = FileLines(launcherLog);
  EXPECT_EQ(Contains(log, "Transfer forms saved "), s.formsUsed);
  if (twist == "tampered delta") {
    EXPECT_TRUE(Contains(log, "Transfer form of data\\a.pak failed : trying compressed file."));
  }
  if (twist == "unsigned index" || twist == "wrongly signed index") {
    EXPECT_TRUE(Contains(log, "Transfer index \"forms.txt\" refused : raw files only."));
  }
  EXPECT_EQ(Contains(log, "Transfer index \"forms.txt\" not found : raw files only."), twist == "missing index");
  if (twist == "no index") {
    EXPECT_FALSE(Contains(log, "Transfer index ")) << "an index nobody announced";
  }
  if (ftp) {
    EXPECT_TRUE(Contains(log, "Transfer form of data\\a.pak : delta "));
    return;
  }
  // The documents, then the file requests, in order. A tree that announces no index is
  // never asked for one.
  std::vector<std::string> documents = {"patch_live.txt", "version.txt"};
  if (twist != "no index") documents.push_back("forms.txt");
  if (s.signedLauncher) {
    for (std::size_t i = documents.size(); i-- > 0;) documents.insert(documents.begin() + i + 1, documents[i] + ".minisig");
  }
  std::vector<std::string> paths;
  WaitUntil(
      [&] {
        paths = ServedPaths(accessLog, logged, name);
        return paths.size() >= documents.size() + s.expected.size();
      },
      5000);
  ASSERT_EQ(paths.size(), documents.size() + s.expected.size()) << ::testing::PrintToString(paths);
  for (std::size_t i = 0; i < documents.size(); ++i) EXPECT_EQ(paths[i], documents[i]);
  for (std::size_t i = 0; i < s.expected.size(); ++i) {
    const std::string& got = paths[documents.size() + i];
    EXPECT_EQ(got.rfind(s.expected[i], 0), 0u) << got << " for " << s.expected[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Trees, FormsRun, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// The download stage with several transfers at once picks the forms by the same rules as one
// transfer does. With a damaged delta and a damaged compressed form of one file, that file
// falls through both to its raw file.
struct AtOnceCase {
  const char* name;
  bool damaged;
};

class FormsAtOnceRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    for (int v : {100, 101, 102}) ASSERT_TRUE(game_.AddRelease(v, Release(v))) << game_.Why();
    ASSERT_TRUE(game_.Install(100));
  }
  // Flips a byte of a form; the index keeps its old digest, so the fetched form fails its check.
  static void Damage(const std::string& pattern) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << pattern;
    FindClose(find);
    const std::string path = pattern.substr(0, pattern.rfind('\\') + 1) + found.cFileName;
    std::string bytes = ReadFileOr(path);
    ASSERT_GT(bytes.size(), 200u);
    bytes[150] ^= 0x01;
    ASSERT_TRUE(WriteFileBytes(path, bytes));
  }

  // Publishes release 102 with its forms from 100 and 101 into tree, its files at files.
  void Publish102(const std::string& name, const std::string& tree, const std::string& files,
                  const std::string& extra) {
    const std::string earlier100 = scratch_.path() + "\\t100_" + name, earlier101 = scratch_.path() + "\\t101_" + name;
    ASSERT_TRUE(game_.Publish(100, earlier100, files)) << game_.Why();
    ASSERT_TRUE(game_.Publish(101, earlier101, files)) << game_.Why();
    ASSERT_TRUE(game_.Publish(102, tree, files,
                              "--delta-from " + Quoted(earlier100) + " --delta-from " + Quoted(earlier101) + extra))
        << game_.Why();
  }
  void ExpectRelease102() {
    SampleGame::Files want = game_.ReleaseFiles(102);
    want["version.dat"] = std::string("\x66\x00\x00\x00", 4);
    EXPECT_EQ(game_.Snapshot(), want);
    EXPECT_EQ(game_.InstalledVersion(), 102);
    EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
};

class FormsAtOnce : public FormsAtOnceRun, public ::testing::WithParamInterface<AtOnceCase> {};

TEST_P(FormsAtOnce, FourConnectionsUseTheForms) {
  const AtOnceCase& c = GetParam();
  const std::string name = std::string("atonce_") + c.name + "_" + std::to_string(TickMs());
  const std::string files = ServerEnv("TALV_HTTP_HOST") + ":80/" + name;
  const std::string tree = WwwFolder(name);
  ASSERT_NO_FATAL_FAILURE(Publish102(name, tree, files, " --connections 4"));
  ASSERT_NE(ReadFileOr(tree + "\\patch_live.txt").find("connections 4"), std::string::npos);
  if (c.damaged) {
    ASSERT_NO_FATAL_FAILURE(Damage(tree + "\\Talvenor.forms\\data\\a.pak.from-*"));
    ASSERT_NO_FATAL_FAILURE(Damage(tree + "\\Talvenor.forms\\data\\a.pak.zst"));
  }

  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  const std::size_t logged = FileLines(accessLog).size();
  const std::string launcherLog = LauncherLogFolder() + "\\launcher_log.txt";
  HostSession host;
  ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(name), game_.GameDir()));
  EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1");

  ExpectRelease102();

  const std::vector<std::string> log = FileLines(launcherLog);
  EXPECT_TRUE(Contains(log, "Transfer forms saved "));
  EXPECT_TRUE(Contains(log, "Downloading file : data\\a.pak"));
  if (c.damaged) {
    EXPECT_TRUE(Contains(log, "Transfer form of data\\a.pak failed : trying compressed file."));
    EXPECT_TRUE(Contains(log, "Transfer form of data\\a.pak failed : trying the raw file."));
  }

  // The documents come first, over the stage's own connection; the files in any order, each
  // file's forms in the order of preference.
  const std::vector<std::string> documents = {"patch_live.txt", "version.txt", "forms.txt"};
  std::vector<std::string> expected = {"Talvenor.forms/data/a.pak.from-", "Talvenor.forms/data/new.bin.zst",
                                       "Talvenor.forms/data/table.txt.from-"};
  if (c.damaged) expected = {"Talvenor.forms/data/a.pak.from-", "Talvenor.forms/data/a.pak.zst", "Talvenor/data/a.pak",
                             "Talvenor.forms/data/new.bin.zst", "Talvenor.forms/data/table.txt.from-"};
  std::vector<std::string> paths;
  WaitUntil(
      [&] {
        paths = ServedPaths(accessLog, logged, name);
        return paths.size() >= documents.size() + expected.size();
      },
      5000);
  ASSERT_EQ(paths.size(), documents.size() + expected.size()) << ::testing::PrintToString(paths);
  for (std::size_t i = 0; i < documents.size(); ++i) EXPECT_EQ(paths[i], documents[i]);
  std::vector<std::string> fetched(paths.begin() + static_cast<std::ptrdiff_t>(documents.size()), paths.end());
  std::vector<std::string> ofAPak;
  for (const std::string& p : fetched) {
    if (p.find("data/a.pak") != std::string::npos) ofAPak.push_back(p);
  }
  // Each expected request matches exactly one fetched path by its beginning.
  auto matches = [](const std::string& path, const std::string& start) { return path.rfind(start, 0) == 0; };
  for (const std::string& e : expected) {
    EXPECT_EQ(std::count_if(fetched.begin(), fetched.end(), [&](const std::string& p) { return matches(p, e); }), 1)
        << e << " in " << ::testing::PrintToString(fetched);
  }
  std::vector<std::string> aPakOrder;
  for (const std::string& e : expected) {
    if (e.find("data/a.pak") != std::string::npos) aPakOrder.push_back(e);
  }
  ASSERT_EQ(ofAPak.size(), aPakOrder.size());
  for (std::size_t i = 0; i < ofAPak.size(); ++i) EXPECT_TRUE(matches(ofAPak[i], aPakOrder[i])) << ofAPak[i];

  // The panel's total counts the bytes that travel: the forms, not the raw files.
  if (!c.damaged) {
    std::uint64_t wire = 0;
    for (const std::string& p : fetched) {
      std::string local = tree + "\\" + p;
      std::replace(local.begin(), local.end(), '/', '\\');
      wire += ReadFileOr(local).size();
    }
    const std::vector<std::string>& lines = host.Lines();
    const auto download = std::find(lines.begin(), lines.end(), "panelType : download");
    ASSERT_NE(download, lines.end()) << host.RawOutput();
    for (auto it = download + 1; it != lines.end() && it->rfind("panelType : ", 0) != 0; ++it) {
      if (it->rfind("size : ", 0) != 0) continue;
      EXPECT_EQ(it->substr(it->find('/') + 1), std::to_string(wire)) << *it;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Trees, FormsAtOnce,
                         ::testing::Values(AtOnceCase{"forms", false}, AtOnceCase{"damaged_delta", true}),
                         [](const ::testing::TestParamInfo<AtOnceCase>& info) { return std::string(info.param.name); });

// A server that goes silent in the middle of a form: the file's raw form comes from the
// mirror at once, no other form is asked of the silent server.
TEST_F(FormsAtOnceRun, AFormThatStallsSendsTheRawFileToTheNextServer) {
  if (ServerEnv("TALV_FAULT_HOST").empty()) GTEST_SKIP() << "no fault server";
  const std::string name = "atonce_stall_" + std::to_string(TickMs());
  const std::string mirrorName = name + "_mirror";
  const std::string stalling = "stallafter/100/a.pak.from-/";
  const std::string first = ServerEnv("TALV_FAULT_HOST") + ":80/" + stalling + name;
  const std::string mirror = ServerEnv("TALV_HTTP_HOST") + ":80/" + mirrorName;
  ASSERT_NO_FATAL_FAILURE(Publish102(mirrorName, WwwFolder(mirrorName), mirror, ""));
  ASSERT_NO_FATAL_FAILURE(Publish102(name, WwwFolder(name), first, " --connections 4 --mirror " + mirror));

  const std::string accessLog = ServerEnv("TALV_NGINX_ACCESS_LOG_WIN");
  const std::size_t logged = FileLines(accessLog).size();
  HostSession host;
  ASSERT_TRUE(host.Start(game_.LauncherPath(), "patchurl:" + HttpBase(name), game_.GameDir()));
  EXPECT_EQ(host.Finish(), 0) << host.RawOutput();
  EXPECT_EQ(host.Result(), "1");
  ExpectRelease102();

  const std::vector<std::string> log = FileLines(LauncherLogFolder() + "\\launcher_log.txt");
  EXPECT_TRUE(Contains(log, "No data for 15 seconds, transfer of data\\a.pak abandoned on file server : " + first));
  EXPECT_TRUE(Contains(log, "Transfer form of data\\a.pak failed : trying the raw file."));
  EXPECT_TRUE(Contains(log, "Trying next file server for data\\a.pak : " + mirror));
  const std::string faultLog = ReadFileOr(ServerEnv("TALV_WWW_ROOT_WIN") + "\\..\\fault-requests.log");
  EXPECT_EQ(faultLog.find("GET /" + stalling + name + "/Talvenor.forms/data/a.pak.zst "), std::string::npos);
  std::vector<std::string> fromMirror;
  WaitUntil(
      [&] {
        fromMirror = ServedPaths(accessLog, logged, mirrorName);
        return std::find(fromMirror.begin(), fromMirror.end(), "Talvenor/data/a.pak") != fromMirror.end();
      },
      5000);
  EXPECT_EQ(std::count(fromMirror.begin(), fromMirror.end(), "Talvenor/data/a.pak"), 1)
      << ::testing::PrintToString(fromMirror);
  for (const std::string& p : fromMirror) EXPECT_EQ(p.find("a.pak.zst"), std::string::npos) << p;
}

}  // namespace
