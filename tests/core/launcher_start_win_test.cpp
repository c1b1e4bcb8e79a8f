// Start-up of the launcher under Wine: log file, modes, trailer, compatibility mode, the
// single-instance check and the string table. Tests that need the launcher's own module
// path run a copy of this test program as a child (LauncherChild below).
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/core/env_checks.h"
#include "launcher/app/launcher_app.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/self_extract.h"
#include "launcher/core/win_handle.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"

namespace {

struct Messages {
  std::vector<int> ids;
  static int Hook(int id, const char*, int, void* context) {
    static_cast<Messages*>(context)->ids.push_back(id);
    return 0;
  }
};

// The process-wide launcher initialised for one test (Shutdown lets the next test initialise
// it again); its message boxes are recorded, not shown.
struct InitedLauncher {
  CLauncherMgr& mgr = g_launcher;
  Messages messages;
  bool ok;
  explicit InitedLauncher(const char* commandLine = "") {
    mgr.SetMessageHook(&Messages::Hook, &messages);
    UseLauncherScreens();
    ok = mgr.Init(commandLine, LauncherResources());
  }
  ~InitedLauncher() {
    mgr.Shutdown();
    mgr.SetMessageHook(nullptr, nullptr);
  }
};

void PutLE32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

std::string Trailer(std::uint32_t a, std::uint32_t b, std::uint32_t begin, std::uint32_t end, unsigned char n) {
  std::string t;
  PutLE32(t, a);
  PutLE32(t, b);
  PutLE32(t, kTrailerSum - a - b);
  t.append(n, '\xEE');
  t.push_back(static_cast<char>(n));
  PutLE32(t, begin);
  PutLE32(t, end);
  return t;
}

// Runs a copy of this test program as the launcher child; returns its report line.
std::string RunChild(const std::string& exe, const std::string& commandLine, const std::string& workingDir) {
  SetEnvironmentVariableA("TALV_CHILD_COMMAND_LINE", commandLine.c_str());
  SetEnvironmentVariableA("TALV_CHILD_RESOURCES", BinPath("Talvenor.exe").c_str());
  ProcessResult r = RunProcess("\"" + exe + "\" --gtest_also_run_disabled_tests --gtest_filter=LauncherChild.*",
                               workingDir, 60000);
  SetEnvironmentVariableA("TALV_CHILD_COMMAND_LINE", nullptr);
  EXPECT_TRUE(r.finished);
  auto at = r.output.find("child:");
  std::string line = at == std::string::npos ? r.output : r.output.substr(at, r.output.find('\n', at) - at);
  while (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string ExeName() {
  std::string path = BinPath("");
  char module[MAX_PATH];
  GetModuleFileNameA(nullptr, module, sizeof(module));
  std::string m = module;
  return m.substr(m.find_last_of("\\/") + 1);
}

}  // namespace

// The child: Init with the command line given by the parent, then report.
TEST(LauncherChild, DISABLED_InitAndReport) {
  char commandLine[4096] = {};
  GetEnvironmentVariableA("TALV_CHILD_COMMAND_LINE", commandLine, sizeof(commandLine));
  char resources[MAX_PATH] = {};
  GetEnvironmentVariableA("TALV_CHILD_RESOURCES", resources, sizeof(resources));
  CModule module(LoadLibraryExA(resources, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  CLauncherMgr mgr;
  Messages messages;
  mgr.SetMessageHook(&Messages::Hook, &messages);
  bool ok = mgr.Init(commandLine, module.get());
  std::string ids;
  for (int id : messages.ids) ids += std::to_string(id) + ",";
  std::printf("child: init=%d mode=%d exePatch=%d messages=%s\n", ok ? 1 : 0, mgr.m_mode, mgr.m_exePatch ? 1 : 0,
              ids.c_str());
  std::fflush(stdout);
  if (ok) mgr.Shutdown();
}

TEST(LauncherLog, HeaderLinesAndReplacementOnTheNextStart) {
  std::string logPath;
  {
    InitedLauncher first;
    ASSERT_TRUE(first.ok);
    logPath = first.mgr.m_logPath;
    EXPECT_NE(logPath.find(Big5(L"\\talvenor\\錯誤報告\\launcher_log.txt")), std::string::npos) << logPath;
    first.mgr.Log("from the first run");
  }
  std::string firstRun = ReadFileOr(logPath);
  EXPECT_NE(firstRun.find("from the first run\r\n"), std::string::npos);
  EXPECT_NE(firstRun.find("Cleanup.\r\n"), std::string::npos);

  InitedLauncher second;
  ASSERT_TRUE(second.ok);
  std::string log = ReadFileOr(logPath);
  EXPECT_EQ(log.rfind("Talvenor Launcher for talvenor :  ver205\r\nDate/Time : ", 0), 0u) << log;
  EXPECT_EQ(log.find("from the first run"), std::string::npos);
  // "Date/Time : yyyy/mm/dd, hh:mm:ss"
  std::string dateLine = log.substr(log.find("Date/Time : "), 32);
  EXPECT_EQ(dateLine[16], '/');
  EXPECT_EQ(dateLine[22], ',');
}

TEST(LauncherLog, CopyLogSnapshotsTheLogUnderTheVersionName) {
  InitedLauncher launcher;
  ASSERT_TRUE(launcher.ok);
  launcher.mgr.Log("patched");
  launcher.mgr.CopyLog(100, 105);
  std::string log = launcher.mgr.m_logPath;
  std::string copy = log.substr(0, log.find_last_of('\\') + 1) + "launcher_log_100_to_105.txt";
  EXPECT_EQ(ReadFileOr(copy, "missing"), ReadFileOr(log));
  launcher.mgr.Log("after the copy");
  EXPECT_EQ(ReadFileOr(copy).find("after the copy"), std::string::npos);
  DeleteFileA(copy.c_str());
}

TEST(LauncherLog, DirectoryListingSkipsDotNamesAtEveryDepth) {
  ScopedTempDir dir;
  CreateDirectoryA((dir / "sub").c_str(), nullptr);
  CreateDirectoryA((dir / ".dotdir").c_str(), nullptr);
  WriteFileBytes(dir / "a.txt", "12345");
  WriteFileBytes(dir / ".hidden", "x");
  WriteFileBytes(dir / "sub\\b.txt", "");
  WriteFileBytes(dir / "sub\\.c.txt", "x");
  WriteFileBytes(dir / ".dotdir\\d.txt", "x");
  CLauncherMgr mgr;
  LogCapture log(mgr);
  mgr.LogDirectoryListing(dir.path().c_str(), true);
  ASSERT_EQ(log.lines().size(), 2u) << log.Joined();
  std::string all = log.Joined();
  EXPECT_NE(all.find(" " + (dir / "a.txt") + ", "), std::string::npos) << all;
  EXPECT_NE(all.find(", 5bytes"), std::string::npos) << all;
  EXPECT_NE(all.find(" " + (dir / "sub\\b.txt") + ", "), std::string::npos) << all;

  LogCapture flat(mgr);
  mgr.LogDirectoryListing(dir.path().c_str(), false);
  EXPECT_EQ(flat.lines().size(), 1u);
}

TEST(LauncherModes, InstallerDataFilesAreLookedForInTheWorkingDirectory) {
  const std::string self = BinPath(ExeName());
  const std::string stem = ExeName().substr(0, ExeName().size() - 4);
  struct Case {
    const char* files;  // which data files lie in the working directory
    const char* commandLine;
    const char* report;
  } cases[] = {
      {"", "", "child: init=1 mode=1 exePatch=0 messages="},
      {"tlvn", "", "child: init=1 mode=3 exePatch=0 messages="},
      {"dat", "", "child: init=1 mode=4 exePatch=0 messages="},
      {"tlvn dat", "", "child: init=1 mode=3 exePatch=0 messages="},
      {"tlvn", "/uninstall", "child: init=1 mode=3 exePatch=0 messages="},
      {"", "/uninstall", "child: init=1 mode=5 exePatch=0 messages="},
  };
  for (const auto& c : cases) {
    ScopedTempDir cwd;
    std::string files = c.files;
    if (files.find("tlvn") != std::string::npos) WriteFileBytes(cwd / (stem + ".tlvn"), "");
    if (files.find("dat") != std::string::npos) WriteFileBytes(cwd / (stem + ".dat"), "");
    EXPECT_EQ(RunChild(self, c.commandLine, cwd.path()), c.report) << c.files << " / " << c.commandLine;
  }
  // A data file beside the executable but not in the working directory is not seen.
  ScopedTempDir cwd;
  const std::string beside = BinPath(stem + ".tlvn");
  WriteFileBytes(beside, "");
  EXPECT_EQ(RunChild(self, "", cwd.path()), "child: init=1 mode=1 exePatch=0 messages=");
  DeleteFileA(beside.c_str());
}

TEST(LauncherModes, AnAppendedTrailerSelectsPatchModeWithExePatch) {
  ScopedTempDir dir;
  std::string exe = ReadFileOr(BinPath(ExeName()));
  ASSERT_FALSE(exe.empty());
  const std::string copy = dir / "patched.exe";
  const auto size = static_cast<std::uint32_t>(exe.size());
  ASSERT_TRUE(WriteFileBytes(copy, exe + std::string(64, 'Z') + Trailer(size, 64, 300, 310, 5)));
  EXPECT_EQ(RunChild(copy, "/uninstall", dir.path()), "child: init=1 mode=1 exePatch=1 messages=");

  CLauncherMgr mgr;
  LogCapture log(mgr);
  std::uint32_t a = 0, b = 0, begin = 0, end = 0;
  std::int64_t p = 0;
  ASSERT_TRUE(mgr.CheckSelfExtract(copy.c_str(), &a, &b, nullptr, &p));
  EXPECT_EQ(a, size);
  EXPECT_EQ(b, 64u);
  EXPECT_EQ(p, static_cast<std::int64_t>(size) + 64 + 12);
  ASSERT_TRUE(mgr.ReadExePatchVersions(&begin, &end, copy.c_str()));
  EXPECT_EQ(begin, 300u);
  EXPECT_EQ(end, 310u);
  EXPECT_FALSE(mgr.CheckSelfExtract((dir / "missing.exe").c_str()));
  EXPECT_FALSE(mgr.CheckSelfExtract(BinPath("Talvenor.exe").c_str()));
}

TEST(LauncherModes, SecuritySizeOfUnsignedAndSignedImages) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  EXPECT_EQ(mgr.GetSecuritySize(BinPath("Talvenor.exe").c_str()), 0u);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0].rfind("CLauncherMgr::GetSecuritySize() : Failed with error code (", 0), 0u);

  // Set the certificate-table entry of a copy, as signing does.
  ScopedTempDir dir;
  std::string image = ReadFileOr(BinPath("Talvenor.exe"));
  std::uint32_t nt = 0;
  std::memcpy(&nt, &image[0x3C], 4);
  const std::uint32_t certificates = 0x208;
  // The certificate-table entry lies 16 bytes further in a 64-bit image (PE32+).
  std::uint16_t magic = 0;
  std::memcpy(&magic, &image[nt + 24], 2);
  const std::uint32_t entry = nt + (magic == 0x20B ? 168 : 152);
  std::memcpy(&image[entry + 4], &certificates, 4);
  const std::uint32_t at = static_cast<std::uint32_t>(image.size());
  std::memcpy(&image[entry], &at, 4);
  image.append(certificates, '\x30');
  ASSERT_TRUE(WriteFileBytes(dir / "signed.exe", image));
  EXPECT_EQ(mgr.GetSecuritySize((dir / "signed.exe").c_str()), certificates);
  EXPECT_EQ(mgr.GetSecuritySize((dir / "missing.exe").c_str()), 0u);
}

TEST(LauncherModes, CompatibilityModeIsRemovedAndTheLauncherEnds) {
  ScopedTempDir dir;
  const std::string copy = dir / "compat.exe";
  ASSERT_TRUE(CopyFileA(BinPath(ExeName()).c_str(), copy.c_str(), FALSE));
  char longPath[MAX_PATH];
  GetLongPathNameA(copy.c_str(), longPath, sizeof(longPath));
  const char* key = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
  CRegKey layers;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, layers.put(), nullptr),
            ERROR_SUCCESS);
  const char value[] = "WINXPSP3";
  ASSERT_EQ(RegSetValueExA(layers.get(), longPath, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value)),
            ERROR_SUCCESS);
  EXPECT_EQ(RunChild(copy, "", dir.path()), "child: init=0 mode=1 exePatch=0 messages=1055,");
  EXPECT_EQ(RegQueryValueExA(layers.get(), longPath, nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  // The next start runs.
  EXPECT_EQ(RunChild(copy, "", dir.path()), "child: init=1 mode=1 exePatch=0 messages=");
}

TEST(LauncherRun, ASecondInstanceIsRefusedWhileALauncherWindowExists) {
  WNDCLASSA cls = {};
  cls.lpfnWndProc = DefWindowProcA;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "pinfox_launcher";
  RegisterClassA(&cls);
  HWND other = CreateWindowExA(0, "pinfox_launcher", "other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               cls.hInstance, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(FindWindowA("pinfox_launcher", nullptr), other);
  InitedLauncher launcher;
  ASSERT_TRUE(launcher.ok);
  DWORD start = GetTickCount();
  launcher.mgr.Run();
  EXPECT_GE(GetTickCount() - start, 2900u);  // three looks a second apart
  EXPECT_EQ(launcher.messages.ids, std::vector<int>{71});
  EXPECT_EQ(launcher.mgr.m_mainWnd, nullptr);
  DestroyWindow(other);
  UnregisterClassA("pinfox_launcher", cls.hInstance);
}

TEST(LauncherResources, StringTableInCodePage950AndCompanions) {
  InitedLauncher launcher;
  ASSERT_TRUE(launcher.ok);
  EXPECT_EQ(GetACP(), 950u);
  char text[512];
  EXPECT_EQ(std::string(launcher.mgr.GetString(sizeof(text), text, 71)), Big5(L"#正在執行塔維諾Launcher。"));
  EXPECT_EQ(std::string(launcher.mgr.GetString(sizeof(text), text, 1055)), Big5(L"#解除了互換性模式.\n# 請重新執行Talvenor."));
  EXPECT_STREQ(launcher.mgr.GetString(sizeof(text), text, 24), "2000");
  EXPECT_STREQ(launcher.mgr.m_title, "talvenor");
  EXPECT_STREQ(launcher.mgr.GetString(sizeof(text), text, 999), "");
  EXPECT_STREQ(launcher.mgr.GetString(0, nullptr, 71), "");

  std::uint32_t size = 0;
  const void* renamer = launcher.mgr.LoadBinResource(115, &size);
  ASSERT_NE(renamer, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(renamer), size), ReadFileOr(BinPath("renamer.exe")));
  const void* remover = launcher.mgr.LoadBinResource(116, &size);
  ASSERT_NE(remover, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(remover), size), ReadFileOr(BinPath("talvremover.exe")));
  EXPECT_EQ(launcher.mgr.LoadBinResource(117, &size), nullptr);
}
