// The environment checks under Wine: game windows of a helper program, the XML and
// DirectX probes, the installed-client markers and the free-space rule.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "launcher/core/env_checks.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"

namespace {

std::string ExePath() {
  char module[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, module, sizeof(module));
  return std::string(module, n);
}

struct FakeDrive {
  static std::uint64_t bytes;
  static bool ok;
  static std::string asked;
  static bool Query(const char* drive, std::uint64_t* freeBytes) {
    asked = drive;
    *freeBytes = bytes;
    return ok;
  }
};
std::uint64_t FakeDrive::bytes = 0;
bool FakeDrive::ok = true;
std::string FakeDrive::asked;

}  // namespace

TEST(EnvChecks, GameWindowCountsOnlyWhenItStays) {
  EXPECT_FALSE(IsOtherGameRunning());  // not initialised: no look at all
  ScopedLauncher launcher;
  EXPECT_FALSE(IsOtherGameRunning());
  {
    ChildProcess window;
    ASSERT_TRUE(StartHelper(window, "helper_window", "Talvenor 1000"));
    EXPECT_FALSE(IsOtherGameRunning());
    EXPECT_TRUE(window.Wait(10000));
  }
  EXPECT_TRUE(launcher.log.lines().empty()) << launcher.log.Joined();
  ChildProcess window;
  ASSERT_TRUE(StartHelper(window, "helper_window", "Talvenor 0"));
  const DWORD start = GetTickCount();
  EXPECT_TRUE(IsOtherGameRunning());
  EXPECT_GE(GetTickCount() - start, 2900u);  // three looks a second apart
  EXPECT_EQ(launcher.log.lines(), std::vector<std::string>{"Other game is running."});
}

TEST(EnvChecks, XmlLibraryAndDirectX9Probes) {
  EXPECT_FALSE(IsXmlLibraryInstalled());  // not initialised
  ScopedLauncher launcher;
  EXPECT_TRUE(IsXmlLibraryInstalled());
  EXPECT_TRUE(IsDirectX9Installed());
  const std::vector<std::string> expected = {"Check XML library installed : installed",
                                             "Check DirectX9 installed : installed"};
  EXPECT_EQ(launcher.log.lines(), expected);
}

// Run as a copy of this program that has a bogus d3d9.dll beside it.
TEST(EnvChecksChild, DISABLED_DirectX9Probe) {
  g_launcher.m_initialized = true;
  std::printf("child: d3d9=%d\n", IsDirectX9Installed() ? 1 : 0);
  std::fflush(stdout);
  g_launcher.m_initialized = false;
}

TEST(EnvChecks, DirectX9ProbeIgnoresALibraryBesideTheLauncher) {
  ScopedTempDir dir;
  const std::string copy = dir / "probe.exe";
  ASSERT_TRUE(CopyFileA(ExePath().c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(WriteFileBytes(dir / "d3d9.dll", "MZ not a library"));
  ProcessResult r = RunProcess("\"" + copy + "\" --gtest_also_run_disabled_tests --gtest_filter=EnvChecksChild.*",
                               dir.path());
  EXPECT_NE(r.output.find("child: d3d9=1"), std::string::npos) << r.output;
}

TEST(EnvChecks, ClientInstalledNeedsClientMovieAndMp3) {
  struct Case {
    bool client, movie, mp3, mp3IsFile, installed;
  } cases[] = {
      {true, true, true, false, true},
      {false, true, true, false, false},
      {true, false, true, false, false},
      {true, true, false, false, false},
      {true, true, false, true, false},
  };
  for (const auto& c : cases) {
    ScopedLauncher launcher;
    if (c.client) WriteFileBytes(launcher.GamePath("client.exe"), "");
    if (c.movie) CreateDirectoryA(launcher.GamePath("movie").c_str(), nullptr);
    if (c.mp3) CreateDirectoryA(launcher.GamePath("mp3").c_str(), nullptr);
    if (c.mp3IsFile) WriteFileBytes(launcher.GamePath("mp3"), "");
    EXPECT_EQ(IsClientInstalled(), c.installed) << c.client << c.movie << c.mp3 << c.mp3IsFile;
  }
}

TEST(EnvChecks, DiskSpaceMustExceedTheRequiredMebibytes) {
  ScopedLauncher launcher;
  SetFreeSpaceQuery(&FakeDrive::Query);
  const std::uint64_t MiB = 1 << 20;
  struct Case {
    const char* path;
    std::uint64_t bytes;
    bool ok;
    const char* drive;  // "": not asked
    bool enough;
  } cases[] = {
      {"C:\\Games\\Talvenor", 2000 * MiB, true, "C:", false},
      {"C:\\Games\\Talvenor", 2001 * MiB - 1, true, "C:", false},
      {"D:/Talvenor", 2001 * MiB, true, "D:", true},
      {"\\\\/", 5000 * MiB, true, "", false},
      {"E:\\", 5000 * MiB, false, "E:", false},
      {"F:\\x", std::uint64_t(1) << 62, true, "F:", true},  // beyond 32 bits of MiB
  };
  for (const auto& c : cases) {
    FakeDrive::bytes = c.bytes;
    FakeDrive::ok = c.ok;
    FakeDrive::asked.clear();
    EXPECT_EQ(HasEnoughDiskSpace(c.path), c.enough) << c.path << " " << c.bytes;
    EXPECT_EQ(FakeDrive::asked, c.drive) << c.path;
  }
  EXPECT_FALSE(HasEnoughDiskSpace(nullptr));

  SetFreeSpaceQuery(nullptr);
  ULARGE_INTEGER available = {};
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, nullptr, nullptr));
  EXPECT_EQ(HasEnoughDiskSpace("C:\\Games"), (available.QuadPart >> 20) > 2000);
}
