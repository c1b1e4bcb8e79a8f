// The start-up registrations of a patch run as reg.exe sees them.
#include "launcher/patch/start_up_registrations.h"

#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/core/registry.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"

namespace {

const std::string kProduct = "HKCU\\Software\\Orvex\\Talvenor";
const std::string kEmulation = "HKCU\\" + std::string(kBrowserEmulationKey);

struct CleanStore {
  CleanStore() { Remove(); }
  ~CleanStore() { Remove(); }
  static void Remove() {
    CRegistry::DeleteKey(HKEY_CURRENT_USER, kProductKey);
    CRegistry::DeleteValue(kBrowserEmulationKey, HKEY_CURRENT_USER, kBrowserEmulationValue);
  }
};

// The level the prefix's own browser version calls for.
std::uint32_t ExpectedLevel() {
  char version[256];
  const bool known =
      CRegistry::ReadString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, version, "svcVersion", sizeof(version)) ||
      CRegistry::ReadString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, version, "Version", sizeof(version));
  return BrowserEmulationLevel(known ? version : nullptr);
}

}  // namespace

TEST(StartUpRegistrations, RegisterTheLobbyApplicationAndTheBrowserEmulation) {
  CleanStore clean;
  ScopedLauncher launcher;
  CopyString(launcher.mgr.m_gameDir, "C:\\Games\\Talvenor\\");
  EXPECT_TRUE(PerformStartUpRegistrations());
  EXPECT_NE(RegQuery(kProduct, "ExecutablePath").find("REG_SZ    C:\\Games\\Talvenor\r\n"), std::string::npos);
  EXPECT_NE(RegQuery(kProduct, "Guid").find("{DC162314-2E40-49b4-A5E2-B26390179CC4}"), std::string::npos);
  EXPECT_TRUE(launcher.mgr.IsLobbyApplicationRegistered());
  std::uint32_t level = 0;
  EXPECT_TRUE(CRegistry::ReadDWORD(kBrowserEmulationKey, &level));
  EXPECT_EQ(level, ExpectedLevel());
  EXPECT_NE(RegQuery(kEmulation, "client.exe").find("REG_DWORD"), std::string::npos);
}

TEST(StartUpRegistrations, AnExistingLobbyEntryIsKeptAndAWrongLevelIsPutRight) {
  CleanStore clean;
  ScopedLauncher launcher;
  ASSERT_TRUE(CRegistry::WriteString(kProductKey, "talvenor (installed)", HKEY_CURRENT_USER, "ApplicationName"));
  ASSERT_TRUE(CRegistry::WriteDWORD(1, kBrowserEmulationKey));
  CopyString(launcher.mgr.m_gameDir, "D:\\Elsewhere\\");
  EXPECT_TRUE(PerformStartUpRegistrations());
  EXPECT_NE(RegQuery(kProduct, "ApplicationName").find("talvenor (installed)"), std::string::npos);
  EXPECT_EQ(RegQuery(kProduct, "ExecutablePath"), "");  // not registered again
  std::uint32_t level = 1;
  EXPECT_TRUE(CRegistry::ReadDWORD(kBrowserEmulationKey, &level));
  EXPECT_EQ(level, ExpectedLevel());
}
