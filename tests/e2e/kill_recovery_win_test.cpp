// A patch run killed at every change it makes to the game folder, and what the next start
// finds: with the server the new release exactly, without it the old one exactly (or the
// new one, once the version was written). Likewise a self-update, killed in the launcher or
// in renamer: the old or the new launcher, and a next start that ends with the new one.
// Talvenor_killable.exe ends itself before its N-th change (TALV_KILL_AT_CHANGE=N); the
// renamer it embeds, before its own N-th change (TALV_KILL_RENAMER_AT_CHANGE=N).
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "launcher/core/win_handle.h"
#include "launcher/transfer/md5.h"
#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

namespace {

constexpr std::uint32_t kKilledExitCode = 77;
constexpr std::uint32_t kRenamerMs = 60000;  // renamer's wait for the window, its move, its self-deletion
constexpr char kLauncherClass[] = "pinfox_launcher";

// About thirty files: kept, changed, added and removed ones, in subfolders.
SampleGame::Files Release(int version) {
  SampleGame::Files files;
  for (int i = 0; i < 18; ++i) files["data\\kept\\k" + std::to_string(i) + ".txt"] = "kept " + std::to_string(i);
  for (int i = 0; i < 5; ++i) {
    files["data\\changed\\c" + std::to_string(i) + ".bin"] = std::string(100 + i, 'a' + i) + std::to_string(version);
  }
  if (version == 1) {
    files["data\\gone\\g0.txt"] = "removed by release 2";
    files["g1.txt"] = "removed too";
  } else {
    files["data\\added\\a0.txt"] = "new in release 2";
    files["data\\added\\deep\\a1.bin"] = std::string(3000, 'z');
    files["a2.txt"] = "new at the top";
  }
  return files;
}

using Digests = std::map<std::string, std::string>;  // relative name -> MD5 in hex

Digests DigestsOf(const SampleGame::Files& files) {
  Digests digests;
  for (const auto& file : files) {
    unsigned char digest[kMd5DigestSize];
    MD5Digest(file.second.data(), file.second.size(), digest);
    char hex[2 * kMd5DigestSize + 1];
    for (std::size_t i = 0; i < kMd5DigestSize; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    digests[file.first] = hex;
  }
  return digests;
}

// The game folder as the player would look at it; a folder of downloads left by a run killed
// before its moves is not part of the game.
Digests GameFiles(const SampleGame& game, bool withDownloads) {
  SampleGame::Files files = game.Snapshot();
  if (!withDownloads) {
    for (auto it = files.begin(); it != files.end();) it = it->first.rfind("patch\\", 0) == 0 ? files.erase(it) : ++it;
  }
  return DigestsOf(files);
}

Digests Installed(const SampleGame& game, int version) {
  SampleGame::Files files = game.ReleaseFiles(version);
  files["version.dat"] = std::string(1, static_cast<char>(version)) + std::string(3, '\0');
  return DigestsOf(files);
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && _stricmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

// A running renamer (named "renXXXX.tmp.exe" by the launcher), opened to wait for its end;
// none when no such process runs.
CKernelHandle OpenRenamer() {
  CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));  // closed as a file is
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  if (!snapshot || !Process32First(snapshot.get(), &entry)) return CKernelHandle();
  do {
    const std::string name = entry.szExeFile;
    if (_strnicmp(name.c_str(), "ren", 3) == 0 && EndsWithNoCase(name, ".tmp.exe")) {
      return CKernelHandle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    }
  } while (Process32Next(snapshot.get(), &entry));
  return CKernelHandle();
}

// A window of the launcher's class: renamer waits while one is open, so that the test can
// take hold of it before it changes anything.
class LauncherLookalike {
 public:
  LauncherLookalike() {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = DefWindowProcA;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = kLauncherClass;
    RegisterClassA(&cls);  // fails harmlessly once registered
    window_ = CreateWindowExA(0, kLauncherClass, "lookalike", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              cls.hInstance, nullptr);
  }
  ~LauncherLookalike() { Close(); }
  LauncherLookalike(const LauncherLookalike&) = delete;
  LauncherLookalike& operator=(const LauncherLookalike&) = delete;
  bool Open() const { return window_ != nullptr; }
  void Close() {
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = nullptr;
  }

 private:
  HWND window_ = nullptr;
};

class KillAtEveryChange : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(1, Release(1))) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(2, Release(2))) << game_.Why();
    server_ = "kill_" + std::to_string(TickMs());
    ASSERT_TRUE(game_.Publish(2, WwwFolder(server_), ServerEnv("TALV_HTTP_HOST") + ":80/" + server_));
  }

  void TearDown() override {
    SetEnvironmentVariableA("TALV_KILL_AT_CHANGE", nullptr);
    SetEnvironmentVariableA("TALV_KILL_RENAMER_AT_CHANGE", nullptr);
  }

  // One host-mode run of the killable launcher; killAt 0 lets it run to its end.
  std::uint32_t Run(const std::string& patchUrl, int killAt, HostSession* host) {
    SetEnvironmentVariableA("TALV_KILL_AT_CHANGE", killAt > 0 ? std::to_string(killAt).c_str() : nullptr);
    EXPECT_TRUE(host->Start(game_.LauncherPath(), "patchurl:" + patchUrl, game_.GameDir()));
    return static_cast<std::uint32_t>(host->Finish());
  }

  void InstallRelease1() {
    ASSERT_TRUE(game_.Install(1));
    ASSERT_TRUE(CopyFileA(BinPath("Talvenor_killable.exe").c_str(), game_.LauncherPath().c_str(), FALSE));
  }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  std::string server_;
};

TEST_F(KillAtEveryChange, TheNextStartFindsTheOldOrTheNewRelease) {
  const std::string patchUrl = HttpBase(server_);
  const std::string unreachable = "http://127.0.0.1:9/" + server_;  // nothing listens on the discard port
  const std::string saved = scratch_ / "killed";
  const Digests oldRelease = Installed(game_, 1);
  const Digests newRelease = Installed(game_, 2);
  // TALV_KILL_FROM starts the loop later, to look at one moment again.
  const char* from = std::getenv("TALV_KILL_FROM");
  int killAt = from != nullptr ? std::atoi(from) : 1;
  for (;; ++killAt) {
    SCOPED_TRACE("killed before change " + std::to_string(killAt));
    std::printf("kill at change %d\n", killAt);
    InstallRelease1();
    HostSession killed;
    const std::uint32_t code = Run(patchUrl, killAt, &killed);
    if (code != kKilledExitCode) {
      // The run made fewer changes than killAt: it is the whole run, untouched.
      EXPECT_EQ(code, 0u) << killed.RawOutput();
      EXPECT_EQ(GameFiles(game_, true), newRelease);
      break;
    }
    const bool versionWritten = game_.InstalledVersion() == 2;
    RemoveTree(saved);
    CopyTree(game_.GameDir(), saved);

    HostSession again;
    EXPECT_EQ(Run(patchUrl, 0, &again), 0u) << again.RawOutput();
    EXPECT_EQ(again.Result(), "1");
    EXPECT_EQ(GameFiles(game_, true), newRelease);

    RemoveTree(game_.GameDir());
    CopyTree(saved, game_.GameDir());
    HostSession offline;
    EXPECT_EQ(Run(unreachable, 0, &offline), 1u) << offline.RawOutput();
    EXPECT_EQ(GameFiles(game_, false), versionWritten ? newRelease : oldRelease);
    if (HasFailure()) break;  // one killed state at a time is enough to read
  }
  EXPECT_GT(killAt, 40);  // every file's download, move and removal was a kill point
}

// The self-update: the launcher killed at each of its changes (the download's creation and
// its first written block, renamer's placeholder, file and bytes, the launcher's attribute),
// then renamer killed at each of its own (the move over Talvenor.exe, its self-deletion).
// Each killed state holds the old or the new launcher exactly, and the next start, with the
// server, hands over again and ends with the new launcher and no renamer left behind.
TEST_F(KillAtEveryChange, ASelfUpdateLeavesTheOldOrTheNewLauncher) {
  const std::string oldLauncher = ReadFileOr(BinPath("Talvenor_killable.exe"));
  ASSERT_FALSE(oldLauncher.empty());
  const std::string newLauncher = oldLauncher + "-- launcher build 206 --\r\n";  // runs as the old one
  const std::string newFile = scratch_ / "new_launcher.exe";
  ASSERT_TRUE(WriteFileBytes(newFile, newLauncher));
  const std::string name = "selfkill_" + std::to_string(TickMs());
  ASSERT_TRUE(game_.Publish(1, WwwFolder(name), ServerEnv("TALV_HTTP_HOST") + ":80/" + name,
                            "--launcher-version 206"));
  ProcessResult packed = RunProcess("\"" + BinPath("talvpack.exe") + "\" launcher --version 206 \"" + newFile +
                                    "\" \"" + WwwFolder(name) + "\"", "", 120000);
  ASSERT_TRUE(packed.finished && packed.exitCode == 0) << packed.output;
  const std::string patchUrl = "patchurl:" + HttpBase(name);
  const std::string download = game_.GameDir() + "\\Talvenor_206.exe";

  // One host-mode start that must hand the update to renamer, and renamer's end (its exit code).
  const auto handOver = [&](const char* why, std::uint32_t* renamerCode) {
    HostSession host;
    EXPECT_TRUE(host.Start(game_.LauncherPath(), patchUrl, game_.GameDir())) << why;
    EXPECT_TRUE(host.WaitForLine("text : Downloading launcher...")) << why << host.RawOutput();
    LauncherLookalike hold;  // renamer starts while this is open: it waits
    EXPECT_TRUE(hold.Open());
    EXPECT_EQ(host.Finish(), 4) << why << host.RawOutput();
    EXPECT_EQ(host.Result(), "2") << why;
    CKernelHandle renamer;
    EXPECT_TRUE(WaitUntil([&] { return static_cast<bool>(renamer = OpenRenamer()); }, kRenamerMs)) << why;
    hold.Close();
    DWORD code = 0;
    if (!renamer || WaitForSingleObject(renamer.get(), kRenamerMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(renamer.get(), &code)) {
      ADD_FAILURE() << why << ": renamer did not end";
    }
    *renamerCode = code;
  };
  // The next start after a kill, with no kill: it ends with the new launcher and clears what
  // the killed programs left (the renamers and their placeholders but its own placeholder).
  const auto nextStart = [&](const std::string& killed) {
    SetEnvironmentVariableA("TALV_KILL_AT_CHANGE", nullptr);
    SetEnvironmentVariableA("TALV_KILL_RENAMER_AT_CHANGE", nullptr);
    std::uint32_t code = 1;
    handOver(("next start after " + killed).c_str(), &code);
    EXPECT_EQ(code, 0u) << killed;
    EXPECT_TRUE(WaitUntil([&] { return FilesMatching(game_.GameDir(), "ren*.exe").empty(); }, kRenamerMs))
        << killed << ": a renamer is left";
    EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == newLauncher) << killed;
    EXPECT_FALSE(PathExists(download)) << killed;
    EXPECT_EQ(FilesMatching(game_.GameDir(), "ren*.tmp").size(), 1u) << killed;
    EXPECT_EQ(game_.InstalledVersion(), 1) << killed;
  };
  const auto holdsOldOrNew = [&](const std::string& killed) {
    const std::string launcher = ReadFileOr(game_.LauncherPath());
    EXPECT_TRUE(launcher == oldLauncher || launcher == newLauncher) << killed << ": Talvenor.exe is neither";
    return launcher == newLauncher;
  };

  // The launcher killed before its N-th change.
  bool partialDownload = false;
  bool renamerWritten = false;
  for (int killAt = 1;; ++killAt) {
    const std::string killed = "launcher killed before change " + std::to_string(killAt);
    SCOPED_TRACE(killed);
    std::printf("self-update: %s\n", killed.c_str());
    InstallRelease1();
    SetEnvironmentVariableA("TALV_KILL_AT_CHANGE", std::to_string(killAt).c_str());
    HostSession host;
    ASSERT_TRUE(host.Start(game_.LauncherPath(), patchUrl, game_.GameDir()));
    const std::uint32_t code = static_cast<std::uint32_t>(host.Finish());
    if (code != kKilledExitCode) {
      // Fewer changes than killAt: the whole hand-over, which renamer completes.
      EXPECT_EQ(code, 4u) << host.RawOutput();
      EXPECT_TRUE(WaitUntil([&] { return FilesMatching(game_.GameDir(), "ren*.exe").empty(); }, kRenamerMs));
      EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == newLauncher);
      break;
    }
    EXPECT_FALSE(holdsOldOrNew(killed)) << "only renamer puts the new launcher in place";
    partialDownload = partialDownload || (PathExists(download) && ReadFileOr(download) != newLauncher);
    renamerWritten = renamerWritten || !FilesMatching(game_.GameDir(), "ren*.tmp.exe").empty();
    nextStart(killed);
    if (HasFailure()) return;  // one killed state at a time is enough to read
  }
  EXPECT_TRUE(partialDownload) << "no kill came with part of the new launcher downloaded";
  EXPECT_TRUE(renamerWritten) << "no kill came with renamer written out";

  // renamer killed before its N-th change.
  bool oldKept = false;
  bool newInPlace = false;
  for (int killAt = 1;; ++killAt) {
    const std::string killed = "renamer killed before change " + std::to_string(killAt);
    SCOPED_TRACE(killed);
    std::printf("self-update: %s\n", killed.c_str());
    InstallRelease1();
    SetEnvironmentVariableA("TALV_KILL_RENAMER_AT_CHANGE", std::to_string(killAt).c_str());
    std::uint32_t code = 0;
    handOver(killed.c_str(), &code);
    if (HasFailure()) return;
    if (code != kKilledExitCode) {
      EXPECT_EQ(code, 0u);
      EXPECT_TRUE(WaitUntil([&] { return FilesMatching(game_.GameDir(), "ren*.exe").empty(); }, kRenamerMs));
      EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == newLauncher);
      break;
    }
    (holdsOldOrNew(killed) ? newInPlace : oldKept) = true;
    nextStart(killed);
    if (HasFailure()) return;
  }
  EXPECT_TRUE(oldKept) << "no kill came before the move";
  EXPECT_TRUE(newInPlace) << "no kill came after the move";
}

}  // namespace
