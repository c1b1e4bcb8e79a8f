// Starting the game client, the installed launcher and the self-remover: a stub program
// (tests/helpers/stub_client) takes the client's place and records its command line.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/core/process.h"
#include "launcher/core/win_handle.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"

namespace {

struct Record {
  std::string commandLine;
  std::string workingDir;
};

// Waits for the record of a stub started as `exe` and returns it.
Record WaitForRecord(const std::string& exe) {
  const std::string path = exe + ".cmdline";
  Record r;
  if (!WaitUntil([&] { return PathExists(path); }, 20000)) return r;
  const std::string text = ReadFileOr(path);
  const auto first = text.find('\n');
  r.commandLine = text.substr(0, first);
  if (first != std::string::npos) r.workingDir = text.substr(first + 1, text.find('\n', first + 1) - first - 1);
  return r;
}

void InstallStub(const std::string& path) { ASSERT_TRUE(CopyFileA(BinPath("stub_client.exe").c_str(), path.c_str(), FALSE)); }

std::string ExePath() {
  char module[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, module, sizeof(module));
  return std::string(module, n);
}

// A copy of a test helper whose "BIN" 116 holds the given bytes, loaded as a data file.
class ResourceModule {
 public:
  ResourceModule(const std::string& path, const std::string* bin116) {
    if (!CopyFileA(BinPath("hold_file.exe").c_str(), path.c_str(), FALSE)) return;
    if (bin116 != nullptr) {
      HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
      if (update == nullptr) return;
      UpdateResourceA(update, "BIN", MAKEINTRESOURCEA(116), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                      const_cast<char*>(bin116->data()), static_cast<DWORD>(bin116->size()));
      if (!EndUpdateResourceA(update, FALSE)) return;
    }
    module_.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  }
  HINSTANCE get() const { return module_.get(); }

 private:
  CModule module_;
};

}  // namespace

TEST(ClientStart, CommandLinesAsTheClientReceivesThem) {
  struct Case {
    const char* launcherCommandLine;  // parsed as the launcher's own
    bool devClient;
    const char* versionDat;  // null: no file
    std::size_t versionSize;
    const char* clientArgs;
    const char* expected;    // after the quoted client path
  } cases[] = {
      {"", false, nullptr, 0, "", " code:1622 ver:0 logip:10.1.2.3 logport:11000 "},
      {"npc", true, "", 0, "", " code:1214 ver:0 logip:10.1.2.3 logport:11000  asset:no"},
      {"/N:nn /V:vv domain:tw", false, "\x2c\x01\x00\x00", 4, "mode:1",
       " code:1622 ver:300 logip:10.1.2.3 logport:11000 mode:1 domain:tw"},
      {"/n:nn /v:vv /t:tt /OPP:secret", false, "\x2c\x01\x00", 3, "",
       " code:1622 ver:0 logip:10.1.2.3 logport:11000  /N:nn /V:vv /T:tt /P:secret"},
  };
  for (const auto& c : cases) {
    ScopedLauncher launcher;
    CLauncherMgr& mgr = launcher.mgr;
    CopyString(mgr.m_commandLine, c.launcherCommandLine);
    mgr.ParseCommandLine();
    mgr.SetLoginAddress("10.1.2.3");
    mgr.SetClientArgs(c.clientArgs);
    const std::string client = launcher.GamePath(c.devClient ? "clientd.exe" : "client.exe");
    InstallStub(launcher.GamePath("client.exe"));
    if (c.devClient) InstallStub(client);
    if (c.versionDat != nullptr) WriteFileBytes(launcher.GamePath("version.dat"), std::string(c.versionDat, c.versionSize));

    ASSERT_TRUE(mgr.StartClient(mgr.m_clientArgs, mgr.ReadClientVersion())) << launcher.log.Joined();
    const Record r = WaitForRecord(client);
    EXPECT_EQ(r.commandLine, "\"" + client + "\"" + c.expected) << c.launcherCommandLine;
    EXPECT_EQ(r.workingDir, launcher.game.path());
    EXPECT_TRUE(WaitUntil([&] { return DeleteFileA(client.c_str()) != FALSE; }, 20000));
  }
}

TEST(ClientStart, RelaunchedLauncherAndFailures) {
  ScopedLauncher launcher;
  CLauncherMgr& mgr = launcher.mgr;
  CopyString(mgr.m_commandLine, "/N:a /V:b /T:c /P:pp domain:tw npc");
  mgr.ParseCommandLine();
  const std::string installed = launcher.GamePath("Talvenor.exe");
  InstallStub(installed);
  ASSERT_TRUE(mgr.StartLauncher());
  const Record r = WaitForRecord(installed);
  EXPECT_EQ(r.commandLine, "\"" + installed + "\" domain:tw /N:a /V:b /T:c /P:pp");
  EXPECT_EQ(r.workingDir, launcher.game.path());

  // No client in the game directory; a passport that would overflow the line.
  EXPECT_FALSE(mgr.StartClient("", 1));
  EXPECT_TRUE(launcher.log.Contains("CProcess::CreateProcess() : CreateProcess() failed : code2")) << launcher.log.Joined();
  CopyString(mgr.m_passport, std::string(1000, 'p').c_str());
  InstallStub(launcher.GamePath("client.exe"));
  EXPECT_FALSE(mgr.StartClient("", 1));
  EXPECT_TRUE(launcher.log.Contains("CLauncherMgr::StartClient() : command line longer than 1023 characters; not started."));
  EXPECT_FALSE(PathExists(launcher.GamePath("client.exe.cmdline")));
  EXPECT_TRUE(WaitUntil([&] { return DeleteFileA(installed.c_str()) != FALSE; }, 20000));

  EXPECT_FALSE(CProcess::CreateProcess(("\"" + std::string(5000, 'x') + "\"").c_str(), nullptr));
  mgr.m_initialized = false;
  EXPECT_FALSE(mgr.StartClient("", 1));
  EXPECT_FALSE(mgr.StartLauncher());
  EXPECT_FALSE(mgr.StartSelfRemover());
  mgr.m_initialized = true;
}

TEST(ClientStart, SelfRemoverIsWrittenFromItsResourceAndStarted) {
  ScopedLauncher launcher;
  CLauncherMgr& mgr = launcher.mgr;
  ScopedTempDir dir;
  const std::string stub = ReadFileOr(BinPath("stub_client.exe"));
  ResourceModule withRemover(dir / "with.exe", &stub);
  ASSERT_NE(withRemover.get(), nullptr);
  mgr.m_hInstance = withRemover.get();

  const std::string record = dir / "remover.record";
  SetEnvironmentVariableA("TALV_STUB_RECORD", record.c_str());
  HWND window = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  mgr.m_mainWnd = window;
  EXPECT_TRUE(mgr.StartSelfRemover());
  SetEnvironmentVariableA("TALV_STUB_RECORD", nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(mgr.m_mainWnd, nullptr);

  ASSERT_TRUE(WaitUntil([&] { return PathExists(record); }, 20000));
  const std::string text = ReadFileOr(record);
  char temp[MAX_PATH];
  GetTempPathA(sizeof(temp), temp);
  // "<temp>\tal????.tmp" quoted, then the launcher's own path unquoted.
  ASSERT_EQ(text.rfind("\"" + std::string(temp) + "tal", 0), 0u) << text;
  const std::string remover = text.substr(1, text.find('"', 1) - 1);
  EXPECT_EQ(remover.substr(remover.size() - 4), ".tmp");
  EXPECT_EQ(text.substr(remover.size() + 2), " " + ExePath() + "\n" + std::string(temp, strlen(temp) - 1) + "\n");
  EXPECT_EQ(ReadFileOr(remover), stub);
  EXPECT_TRUE(WaitUntil([&] { return DeleteFileA(remover.c_str()) != FALSE; }, 20000));
}

TEST(ClientStart, SelfRemoverFailures) {
  ScopedLauncher launcher;
  CLauncherMgr& mgr = launcher.mgr;
  ScopedTempDir dir;
  HWND window = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);

  // No resource: nothing is started and the launcher stays.
  ResourceModule without(dir / "without.exe", nullptr);
  ASSERT_NE(without.get(), nullptr);
  mgr.m_hInstance = without.get();
  mgr.m_mainWnd = window;
  EXPECT_FALSE(mgr.StartSelfRemover());
  EXPECT_TRUE(launcher.log.Contains("Fail to create selfremover."));
  EXPECT_TRUE(IsWindow(window));

  // A remover that cannot start still ends the launcher.
  const std::string garbage = "not a program";
  ResourceModule broken(dir / "broken.exe", &garbage);
  ASSERT_NE(broken.get(), nullptr);
  mgr.m_hInstance = broken.get();
  EXPECT_TRUE(mgr.StartSelfRemover());
  EXPECT_FALSE(IsWindow(window));
  bool failedLine = false;
  for (const auto& l : launcher.log.lines()) failedLine |= l.rfind("CProcess::CreateProcess() : CreateProcess() failed : code", 0) == 0;
  EXPECT_TRUE(failedLine) << launcher.log.Joined();
}
