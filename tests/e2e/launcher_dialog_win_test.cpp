// The normal launch on screen: the real Talvenor.exe without "/pipe" patches a sample game
// published on the loopback servers, and the test plays the user through its windows.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/core/registry.h"
#include "tests/support/host_session.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace {

const SampleGame::Files kVersion100 = {{"data\\a.txt", "one"}, {"data\\gone.txt", "old"}};
const SampleGame::Files kVersion101 = {{"data\\a.txt", "two"}, {"data\\b.txt", "new"},
                                       {"data\\big.bin", std::string(200000, 'b')}};

std::string AgreementText() {
  HRSRC found = FindResourceA(LauncherResources(), MAKEINTRESOURCEA(111), "BIN");
  HGLOBAL loaded = found != nullptr ? LoadResource(LauncherResources(), found) : nullptr;
  if (loaded == nullptr) return "";
  return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(LauncherResources(), found));
}

// The registry's game folder for the length of a test; what was there before comes back.
class RegisteredGameDir {
 public:
  explicit RegisteredGameDir(const std::string& dir) {
    had_ = CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, saved_, "", sizeof(saved_));
    if (dir.empty()) {
      CRegistry::DeleteValue(kProductKey, HKEY_CURRENT_USER, "");
    } else {
      CRegistry::WriteString(kProductKey, dir.c_str(), HKEY_CURRENT_USER, "");
    }
  }
  ~RegisteredGameDir() {
    if (had_) {
      CRegistry::WriteString(kProductKey, saved_, HKEY_CURRENT_USER, "");
    } else {
      CRegistry::DeleteValue(kProductKey, HKEY_CURRENT_USER, "");
    }
  }

 private:
  char saved_[MAX_PATH] = {};
  bool had_ = false;
};

class LauncherDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers are not running";
    ASSERT_TRUE(game_.AddRelease(100, kVersion100)) << game_.Why();
    ASSERT_TRUE(game_.AddRelease(101, kVersion101)) << game_.Why();
    ASSERT_TRUE(game_.Install(100));
  }

  // Publishes release 101 under a fresh folder; files from filesHost ("" = nginx itself).
  std::string Publish(const std::string& filesHost = "", const std::string& extra = "") {
    server_ = "dlg_" + std::to_string(TickMs());
    const std::string host = filesHost.empty() ? ServerEnv("TALV_HTTP_HOST") + ":80/" + server_ : filesHost + server_;
    EXPECT_TRUE(game_.Publish(101, WwwFolder(server_), host, extra));
    return HttpBase(server_);
  }

  bool Start(const std::string& patchUrl, const std::string& workingDir = "") {
    return launcher_.Start("\"" + game_.LauncherPath() + "\" patchurl:" + patchUrl,
                           workingDir.empty() ? game_.GameDir() : workingDir);
  }

  // Waits for the patch screen and for its run to enable the start button.
  UiWindow WaitUntilReady() {
    UiWindow screen = ui::WaitForWindow(ui::ScreenOf(launcher_.Id(), 1035));
    if (screen == nullptr) return nullptr;
    return WaitUntil([&] { return ui::IsEnabled(screen, 1026); }, 60000) ? screen : nullptr;
  }

  bool Exits() {
    std::uint32_t code = 99;
    return launcher_.Wait(30000, &code);
  }

  // Answers every message box until the launcher ends (60 s at most); the texts it said.
  bool AnswerUntilEnd(std::vector<std::string>* said) {
    return WaitUntil(
        [&] {
          if (UiWindow box = ui::WaitForMessageBox(launcher_.Id(), 0)) {
            said->push_back(ui::MessageBoxText(box));
            ui::AnswerMessageBox(box, 1);
            ui::WaitForWindowGone(box, 5000);
          }
          return launcher_.Wait(0);
        },
        60000);
  }

  // Closes the screen while big.bin comes in, 4 KiB every 250 ms (about 12 s for it alone,
  // so the close lands inside it even on a loaded machine; the stop cuts the wait short).
  void CloseDuringTheDownload(const std::string& extra) {
    const SampleGame::Files before = game_.Snapshot();
    ASSERT_TRUE(Start(Publish(ServerEnv("TALV_FAULT_HOST") + ":80/slow/4096/250/", extra)));
    UiWindow screen = ui::WaitForWindow(ui::ScreenOf(launcher_.Id(), 1035));
    ASSERT_NE(screen, nullptr);
    const std::string partial = game_.GameDir() + "\\patch\\data\\big.bin";
    ASSERT_TRUE(WaitUntil([&] { return PathExists(partial); }, 60000));
    ASSERT_TRUE(ui::Click(screen, 1010));
    const std::uint32_t closed = TickMs();
    // A stop noticed after the stages says so (string 11); one noticed inside a transfer ends
    // the run silently. Either way the launcher ends, and nothing else is said.
    std::vector<std::string> said;
    ASSERT_TRUE(AnswerUntilEnd(&said));
    // big.bin alone would take 12 s more: no transfer ran to its end.
    EXPECT_LT(TickMs() - closed, 10000u);
    for (const std::string& text : said) EXPECT_EQ(text, LauncherString(11));
    // What arrived stays for the next run, with the record that names it.
    bool onlyKept = false;
    EXPECT_EQ(OutsideKeptDownloads(game_.Snapshot(), &onlyKept), before);
    EXPECT_TRUE(onlyKept);
    EXPECT_EQ(game_.InstalledVersion(), 100);
    EXPECT_FALSE(PathExists(ClientRecord()));
  }

  std::string ClientRecord() const { return game_.GameDir() + "\\client.exe.cmdline"; }

  ScopedTempDir scratch_;
  SampleGame game_{scratch_.path()};
  ChildProcess launcher_;
  std::string server_;
};

SampleGame::Files Patched(const SampleGame& game) {
  SampleGame::Files files = game.ReleaseFiles(101);
  files["version.dat"] = std::string("\x65\x00\x00\x00", 4);
  return files;
}

TEST_F(LauncherDialog, PatchesThenStartsTheClientAfterTheAgreement) {
  // The registry names a folder without the game; the launcher was started in the game's.
  RegisteredGameDir registered(scratch_.path());
  ASSERT_TRUE(Start(Publish()));
  UiWindow screen = WaitUntilReady();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(game_.Snapshot(), Patched(game_));
  EXPECT_EQ(game_.InstalledVersion(), 101);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
  EXPECT_FALSE(PathExists(ClientRecord()));
  EXPECT_NE(RegQuery("HKCU\\Software\\Orvex\\Talvenor", "Guid").find("{DC162314-2E40-49b4-A5E2-B26390179CC4}"),
            std::string::npos);
  EXPECT_NE(RegQuery("HKCU\\" + std::string(kBrowserEmulationKey), "client.exe").find("REG_DWORD"), std::string::npos);

  ASSERT_TRUE(ui::Click(screen, 1026));
  UiWindow agreement = ui::WaitForWindow(ui::ScreenOf(launcher_.Id(), 1009));
  ASSERT_NE(agreement, nullptr);
  EXPECT_TRUE(ui::WaitForWindowGone(screen));
  const std::string agreementText = AgreementText();
  EXPECT_GT(agreementText.size(), 1000u);
  EXPECT_EQ(ui::Text(agreement, 1001), agreementText);
  ASSERT_TRUE(ui::Click(agreement, 1009));
  ASSERT_TRUE(Exits());
  ASSERT_TRUE(WaitUntil([&] { return !ReadFileOr(ClientRecord()).empty(); }, 30000));
  EXPECT_EQ(ReadFileOr(ClientRecord()), "\"" + game_.GameDir() +
                                            "\\client.exe\" code:1622 ver:101 logip:127.0.0.1:11000 logport:11000 \n" +
                                            game_.GameDir() + "\n");
}

TEST_F(LauncherDialog, UnreadablePatchInformationLeavesTheScreenWaiting) {
  const SampleGame::Files before = game_.Snapshot();
  ASSERT_TRUE(Start(HttpBase("dlg_nothing_published")));
  UiWindow screen = ui::WaitForWindow(ui::ScreenOf(launcher_.Id(), 1035));
  ASSERT_NE(screen, nullptr);
  UiWindow box = ui::WaitForMessageBox(launcher_.Id(), 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), LauncherString(48));
  ASSERT_TRUE(ui::AnswerMessageBox(box, 1));
  ASSERT_TRUE(ui::WaitForWindowGone(box));
  EXPECT_TRUE(IsWindow(screen));
  EXPECT_FALSE(ui::IsEnabled(screen, 1026));
  EXPECT_EQ(game_.Snapshot(), before);
  // With the run over, the close button ends the launcher.
  ASSERT_TRUE(ui::Click(screen, 1010));
  EXPECT_TRUE(Exits());
}

TEST_F(LauncherDialog, CloseDuringTheDownloadRollsBackAndEnds) { CloseDuringTheDownload(""); }

// Several transfers at once from two servers, on screen: the first server lacks big.bin,
// the mirror has it; the screen comes to its start button with the game patched.
TEST_F(LauncherDialog, SeveralTransfersAndAMirrorPatchOnScreen) {
  const std::string mirror = "dlg_mirror_" + std::to_string(TickMs());
  ASSERT_TRUE(game_.Publish(101, WwwFolder(mirror), mirror));
  const std::string patchUrl = Publish("", "--connections 4 --mirror " + ServerEnv("TALV_HTTP_HOST") + ":80/" + mirror);
  ASSERT_TRUE(DeleteFileA((WwwFolder(server_) + "\\Talvenor\\data\\big.bin").c_str()));
  ASSERT_TRUE(Start(patchUrl));
  UiWindow screen = ui::WaitForWindow(ui::ScreenOf(launcher_.Id(), 1035));
  ASSERT_NE(screen, nullptr);
  // The missing file costs its retry cycles on the first server before the mirror serves it.
  ASSERT_TRUE(WaitUntil([&] { return ui::IsEnabled(screen, 1026); }, 120000));
  EXPECT_EQ(game_.Snapshot(), Patched(game_));
  EXPECT_EQ(game_.InstalledVersion(), 101);
  ASSERT_TRUE(ui::Click(screen, 1010));
  EXPECT_TRUE(Exits());
}

// A close while four slow transfers run stops all of them and rolls back as one does.
TEST_F(LauncherDialog, CloseDuringSeveralTransfersRollsBackAndEnds) { CloseDuringTheDownload("--connections 4"); }

TEST_F(LauncherDialog, AgreementCancelAndCloseBoxEndTheLauncherWithoutTheClient) {
  ASSERT_TRUE(game_.Install(101));
  const std::string patchUrl = Publish();
  // Found through the registry, started elsewhere.
  RegisteredGameDir registered(game_.GameDir());
  for (int button : {1010, 1032}) {
    SCOPED_TRACE(button);
    ASSERT_TRUE(Start(patchUrl, scratch_.path()));
    UiWindow screen = WaitUntilReady();
    ASSERT_NE(screen, nullptr);
    ASSERT_TRUE(ui::Click(screen, 1026));
    UiWindow agreement = ui::WaitForWindow(ui::ScreenOf(launcher_.Id(), 1009));
    ASSERT_NE(agreement, nullptr);
    ASSERT_TRUE(ui::Click(agreement, button));
    ASSERT_TRUE(Exits());
    EXPECT_FALSE(PathExists(ClientRecord()));
  }
}

TEST_F(LauncherDialog, NewerLauncherIsHandedToRenamerBeforeAnyPatch) {
  const SampleGame::Files before = game_.Snapshot();
  const std::string patchUrl = Publish("", "--launcher-version 206");
  ProcessResult added = RunProcess("\"" + BinPath("talvpack.exe") + "\" launcher --version 206 \"" +
                                   BinPath("stub_launcher.exe") + "\" \"" + WwwFolder(server_) + "\"");
  ASSERT_TRUE(added.finished && added.exitCode == 0) << added.output;
  std::string newLauncher;
  ASSERT_TRUE(ReadFileBytes(BinPath("stub_launcher.exe"), &newLauncher));
  ASSERT_TRUE(Start(patchUrl));
  ASSERT_TRUE(Exits());
  // renamer puts the new launcher in place and starts it the way this one was started.
  const std::string restarted = game_.GameDir() + "\\launcher_args.txt";
  ASSERT_TRUE(WaitUntil([&] { return PathExists(restarted); }, 30000));
  EXPECT_TRUE(ReadFileOr(game_.LauncherPath()) == newLauncher);
  EXPECT_EQ(ReadFileOr(restarted), "Talvenor.exe ");
  EXPECT_EQ(game_.InstalledVersion(), 100);
  SampleGame::Files after = game_.Snapshot();
  after.erase("launcher_args.txt");
  for (auto it = after.begin(); it != after.end();) {
    it = (it->first.rfind("ren", 0) == 0 || it->first.rfind("Talvenor_", 0) == 0) ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, before);
}

// An installation over an installed game asks first; "no" ends the launcher with every
// file left as it was.
TEST_F(LauncherDialog, LogoOverAnInstalledGameAnsweredNoEndsTheLauncher) {
  RegisteredGameDir registered(game_.GameDir());
  const SampleGame::Files before = game_.Snapshot();
  ScopedTempDir cwd;
  ASSERT_TRUE(launcher_.Start("\"" + BinPath("Talvenor.exe") + "\" /install", cwd.path()));
  UiWindow box = ui::WaitForMessageBox(launcher_.Id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), LauncherString(30));
  ASSERT_TRUE(ui::AnswerMessageBox(box, 7));
  ASSERT_TRUE(Exits());
  EXPECT_EQ(game_.Snapshot(), before);
  EXPECT_TRUE(PathExists(game_.LauncherPath()));
}

// Without a game the launcher has nothing to patch: it says so and ends.
TEST(LauncherDialogNoGame, SaysSoAndEnds) {
  RegisteredGameDir registered("");
  ScopedTempDir cwd;
  ChildProcess launcher;
  ASSERT_TRUE(launcher.Start("\"" + BinPath("Talvenor.exe") + "\"", cwd.path()));
  UiWindow box = ui::WaitForMessageBox(launcher.Id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), LauncherString(28));
  EXPECT_TRUE(ui::AnswerMessageBox(box, 1));
  std::uint32_t code = 99;
  EXPECT_TRUE(launcher.Wait(20000, &code));
}

}  // namespace

namespace {

// What the start-menu link "修復talvenor.lnk" runs: the launcher with "repair".
TEST_F(LauncherDialog, RepairLinkChecksTheGameAndSaysWhatItPutRight) {
  ASSERT_TRUE(game_.Install(101));
  const SampleGame::Files intact = game_.Snapshot();
  ASSERT_TRUE(WriteFileBytes(game_.GameDir() + "\\data\\big.bin", "cut short"));
  ASSERT_TRUE(launcher_.Start("\"" + game_.LauncherPath() + "\" repair patchurl:" + Publish(), game_.GameDir()));
  UiWindow screen = ui::WaitForWindow(ui::ScreenOf(launcher_.Id(), 1035));
  ASSERT_NE(screen, nullptr);
  UiWindow box = ui::WaitForMessageBox(launcher_.Id(), 60000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::MessageBoxText(box), LauncherString(74) + "(1)");
  ASSERT_TRUE(ui::AnswerMessageBox(box, 1));
  EXPECT_TRUE(WaitUntil([&] { return ui::IsEnabled(screen, 1026); }, 30000));
  EXPECT_EQ(game_.Snapshot(), intact);
  EXPECT_FALSE(PathExists(game_.GameDir() + "\\patch"));
}

}  // namespace
