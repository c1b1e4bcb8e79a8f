// The registry store under Wine: CRegistry's failure lines, the registrations as another
// program (reg.exe) sees them, the "Files" record and version.dat on disk.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/core/registry.h"
#include "launcher/core/win_handle.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"

namespace {

const std::string kProduct = "HKCU\\Software\\Orvex\\Talvenor";

bool SetRaw(HKEY root, const char* key, const char* name, DWORD type, const void* data, DWORD size) {
  CRegKey k;
  return RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr) == ERROR_SUCCESS &&
         RegSetValueExA(k.get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool SetText(HKEY root, const char* key, const char* name, const std::string& text) {
  return SetRaw(root, key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

std::string ReadText(HKEY root, const char* key, const char* name) {
  char out[4096];
  return CRegistry::ReadString(root, key, out, name, sizeof(out)) ? out : "<none>";
}

// The product key and the browser setting are shared by the whole test program.
struct CleanStore {
  CleanStore() { Remove(); }
  ~CleanStore() { Remove(); }
  static void Remove() {
    CRegistry::DeleteKey(HKEY_CURRENT_USER, kProductKey);
    CRegistry::DeleteValue(kBrowserEmulationKey, HKEY_CURRENT_USER, kBrowserEmulationValue);
  }
};

}  // namespace

TEST(Registry, FailuresAreLoggedOnceEach) {
  CleanStore clean;
  ScopedLauncher launcher;
  char out[8] = "x";
  EXPECT_FALSE(CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, out, "Missing", sizeof(out)));
  EXPECT_STREQ(out, "");
  std::uint32_t number = 7;
  EXPECT_FALSE(CRegistry::GetStringLength(kProductKey, &number));
  EXPECT_FALSE(CRegistry::ReadDWORD(kBrowserEmulationKey, &number));
  EXPECT_EQ(number, 7u);
  EXPECT_FALSE(CRegistry::WriteString("Software\\Orvex\\Talvenor", "t", nullptr, "v"));
  EXPECT_FALSE(CRegistry::DeleteValue(kProductKey, HKEY_CURRENT_USER, "Missing"));
  const std::vector<std::string> expected = {
      "ERROR : CRegistry::ReadString(Software\\Orvex\\Talvenor,Missing) failed.",
      "ERROR : CRegistry::GetStringLength(Software\\Orvex\\Talvenor,Files) failed.",
      "ERROR : CRegistry::ReadDWORD(Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
      "FEATURE_BROWSER_EMULATION,client.exe) failed.",
      "ERROR : CRegistry::RegCreateKey(Software\\Orvex\\Talvenor) failed.",
  };
  EXPECT_EQ(launcher.log.lines(), expected);

  // A value too long for the output, and "client.exe" stored as text, are failures too.
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kProductKey, "Long", "12345678"));
  EXPECT_FALSE(CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, out, "Long", sizeof(out)));
  EXPECT_STREQ(out, "");
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kProductKey, "Long", "1234567"));
  EXPECT_TRUE(CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, out, "Long", sizeof(out)));
  EXPECT_STREQ(out, "1234567");
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kBrowserEmulationKey, kBrowserEmulationValue, "9000"));
  EXPECT_FALSE(CRegistry::ReadDWORD(kBrowserEmulationKey, &number));
}

TEST(Registry, GameDirectoryAndLobbyRegistration) {
  CleanStore clean;
  ScopedLauncher launcher;
  char dir[kMaxPath] = "x";
  EXPECT_FALSE(launcher.mgr.ReadGameDirFromRegistry(dir));
  EXPECT_FALSE(launcher.mgr.IsLobbyApplicationRegistered());
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kProductKey, "", ""));
  EXPECT_FALSE(launcher.mgr.ReadGameDirFromRegistry(dir));
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kProductKey, "", "C:\\Games\\Talvenor"));
  EXPECT_TRUE(launcher.mgr.ReadGameDirFromRegistry(dir));
  EXPECT_STREQ(dir, "C:\\Games\\Talvenor");

  CopyString(launcher.mgr.m_gameDir, "C:\\Games\\Talvenor\\\\");
  EXPECT_TRUE(launcher.mgr.RegisterLobbyApplication());
  EXPECT_TRUE(launcher.mgr.IsLobbyApplicationRegistered());
  char name[256], description[256];
  const struct {
    const char* name;
    std::string text;
  } values[] = {
      {"ApplicationName", launcher.mgr.GetString(sizeof(name), name, 33)},
      {"CommandLine", ""},
      {"CurrentDirectory", ""},
      {"Description", launcher.mgr.GetString(sizeof(description), description, 34)},
      {"ExecutableFilename", "Talvenor.exe"},
      {"ExecutablePath", "C:\\Games\\Talvenor"},
      {"Guid", "{DC162314-2E40-49b4-A5E2-B26390179CC4}"},
      {"LauncherFilename", "Talvenor.exe"},
      {"LauncherPath", "C:\\Games\\Talvenor"},
  };
  for (const auto& v : values) EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kProductKey, v.name), v.text) << v.name;
  EXPECT_FALSE(values[0].text.empty());
  EXPECT_NE(RegQuery(kProduct, "LauncherPath").find("REG_SZ    C:\\Games\\Talvenor\r\n"), std::string::npos);
  EXPECT_NE(RegQuery(kProduct, "Guid").find("{DC162314-2E40-49b4-A5E2-B26390179CC4}"), std::string::npos);
}

TEST(Registry, UninstallEntryAndKeyRemovals) {
  CleanStore clean;
  ScopedLauncher launcher;
  CopyString(launcher.mgr.m_gameDir, "D:\\Talvenor\\");
  EXPECT_TRUE(launcher.mgr.WriteUninstallEntry());
  const std::string key = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\talvenor";
  EXPECT_NE(RegQuery(key, "DisplayName").find("REG_SZ    talvenor\r\n"), std::string::npos);
  EXPECT_NE(RegQuery(key, "DisplayLocation").find("REG_SZ    D:\\Talvenor\r\n"), std::string::npos);
  EXPECT_NE(RegQuery(key, "UninstallString").find("REG_SZ    D:\\Talvenor\\Talvenor.exe /uninstall\r\n"),
            std::string::npos);
  EXPECT_NE(RegQuery(key, "Publisher").find("REG_SZ    pinFOX\r\n"), std::string::npos);
  EXPECT_NE(RegQuery(key, "URLInfoAbout").find("REG_SZ    http"), std::string::npos);
  CRegistry::DeleteKey(HKEY_LOCAL_MACHINE, (std::string(kUninstallKeyBase) + "talvenor").c_str());

  // Whole keys go with everything below them; a missing key is no success.
  const std::string below = std::string(kDirectPlayKey) + "\\Sub";
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, below.c_str(), "x", "y"));
  EXPECT_TRUE(launcher.mgr.RemoveDirectPlayRegistration());
  EXPECT_EQ(RegQuery("HKLM\\" + std::string(kDirectPlayKey), ""), "");
  EXPECT_FALSE(launcher.mgr.RemoveDirectPlayRegistration());
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, (std::string(kProductKey) + "\\Sub").c_str(), "x", "y"));
  EXPECT_TRUE(launcher.mgr.RemoveProductKey());
  EXPECT_EQ(RegQuery(kProduct, ""), "");
}

TEST(Registry, BrowserEmulationFollowsTheBrowserVersion) {
  // The prefix's own browser version is put back afterwards.
  const std::string svc = ReadText(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "svcVersion");
  const std::string version = ReadText(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version");
  CleanStore clean;
  struct Case {
    const char* svcVersion;  // null: value absent
    const char* version;
    DWORD level;
  } cases[] = {
      {"9.0.1", "11.0.1", 9000}, {"11.0.9600", "9.11", 11000}, {"12.1", nullptr, 11000},
      {"10.0", nullptr, 10000},  {"8.0", nullptr, 8000},       {"11", "9.0", 7000},
      {"abc.1", nullptr, 7000},  {"9a.1", nullptr, 7000},      {nullptr, "10.0.1", 10000},
      {nullptr, nullptr, 7000},
  };
  for (const auto& c : cases) {
    CRegistry::DeleteValue(kInternetExplorerKey, HKEY_LOCAL_MACHINE, "svcVersion");
    CRegistry::DeleteValue(kInternetExplorerKey, HKEY_LOCAL_MACHINE, "Version");
    if (c.svcVersion != nullptr) SetText(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "svcVersion", c.svcVersion);
    if (c.version != nullptr) SetText(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", c.version);
    ScopedLauncher launcher;
    EXPECT_TRUE(launcher.mgr.SetBrowserEmulation());
    std::uint32_t level = 0;
    EXPECT_TRUE(CRegistry::ReadDWORD(kBrowserEmulationKey, &level));
    EXPECT_EQ(level, c.level) << (c.svcVersion ? c.svcVersion : "-") << " / " << (c.version ? c.version : "-");
  }
  char hex[32];
  FormatString(hex, sizeof(hex), "REG_DWORD    0x%x\r\n", 7000u);
  const std::string key = "HKCU\\" + std::string(kBrowserEmulationKey);
  EXPECT_NE(RegQuery(key, "client.exe").find(hex), std::string::npos) << RegQuery(key, "client.exe");

  {
    ScopedLauncher launcher;
    EXPECT_TRUE(launcher.mgr.SetBrowserEmulation());  // already right: nothing to write
    EXPECT_TRUE(launcher.mgr.RemoveBrowserEmulation());
    EXPECT_EQ(RegQuery(key, "client.exe"), "");
    EXPECT_FALSE(launcher.mgr.RemoveBrowserEmulation());
  }
  if (svc != "<none>") SetText(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "svcVersion", svc);
  if (version != "<none>") SetText(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", version);
}

TEST(Registry, InstalledFilesAreSavedOnlyWhenChangedAndLoadedBack) {
  CleanStore clean;
  ScopedLauncher launcher;
  CLauncherMgr& mgr = launcher.mgr;
  EXPECT_FALSE(mgr.LoadInstalledFiles());
  EXPECT_TRUE(mgr.SaveInstalledFiles());  // unchanged: nothing written
  EXPECT_EQ(RegQuery(kProduct, "Files"), "");

  mgr.AddInstalledFile("C:\\G\\version.dat");
  mgr.AddInstalledFile("C:\\G\\a.lnk");
  EXPECT_TRUE(mgr.SaveInstalledFiles());
  EXPECT_FALSE(mgr.m_installedFilesDirty);
  EXPECT_NE(RegQuery(kProduct, "Files").find("REG_SZ    C:*G*a.lnk*%version.dat*%%%%\r\n"), std::string::npos);

  // Saved only after a change: a value written behind the launcher's back stays.
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kProductKey, "Files", "Z:*%%"));
  mgr.AddInstalledFile("C:\\G\\a.lnk");
  EXPECT_TRUE(mgr.SaveInstalledFiles());
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kProductKey, "Files"), "Z:*%%");

  EXPECT_TRUE(mgr.LoadInstalledFiles());
  EXPECT_EQ(mgr.m_installedFiles.Serialize(), "Z:*%%");
  EXPECT_FALSE(mgr.m_installedFilesDirty);

  // Values shorter than two bytes leave the record alone; one without its zero still reads.
  const struct {
    DWORD type;
    std::string bytes;
  } shortValues[] = {{REG_SZ, ""}, {REG_SZ, std::string("", 1)}, {REG_BINARY, "%"}};
  for (const auto& v : shortValues) {
    ASSERT_TRUE(SetRaw(HKEY_CURRENT_USER, kProductKey, "Files", v.type, v.bytes.data(),
                       static_cast<DWORD>(v.bytes.size())));
    EXPECT_FALSE(mgr.LoadInstalledFiles());
    EXPECT_EQ(mgr.m_installedFiles.Serialize(), "Z:*%%");
  }
  ASSERT_TRUE(SetRaw(HKEY_CURRENT_USER, kProductKey, "Files", REG_SZ, "a*%%", 4));
  EXPECT_TRUE(mgr.LoadInstalledFiles());
  EXPECT_EQ(mgr.m_installedFiles.Serialize(), "a*%%");
}

TEST(Registry, DeletingTheRecordedFilesKeepsFoldersThatAreNotEmpty) {
  CleanStore clean;
  ScopedLauncher launcher;
  CLauncherMgr& mgr = launcher.mgr;
  const ScopedTempDir& game = launcher.game;
  CreateDirectoryA((game / "data").c_str(), nullptr);
  CreateDirectoryA((game / "data\\deep").c_str(), nullptr);
  CreateDirectoryA((game / "kept").c_str(), nullptr);
  for (const char* name : {"a.pak", "data\\b.pak", "data\\deep\\c.pak", "kept\\d.pak", "kept\\own.txt"}) {
    ASSERT_TRUE(WriteFileBytes(game / name, "x"));
  }
  for (const char* name : {"a.pak", "data\\b.pak", "data\\deep\\c.pak", "kept\\d.pak", "missing.pak"}) {
    mgr.AddInstalledFile((game / name).c_str());
  }
  EXPECT_TRUE(mgr.SaveInstalledFiles());
  EXPECT_TRUE(mgr.DeleteInstalledFiles());
  for (const char* gone : {"a.pak", "data", "kept\\d.pak"}) EXPECT_FALSE(PathExists(game / gone)) << gone;
  EXPECT_TRUE(PathExists(game / "kept\\own.txt"));
  EXPECT_TRUE(PathExists(game.path()));  // the game folder holds "kept"
  EXPECT_TRUE(mgr.m_installedFiles.empty());
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kProductKey, "Files"), "");
  EXPECT_NE(RegQuery(kProduct, "Files").find("Files    REG_SZ"), std::string::npos);
}

TEST(Registry, ClientVersionFile) {
  ScopedLauncher launcher;
  CLauncherMgr& mgr = launcher.mgr;
  const std::string path = launcher.GamePath("version.dat");
  EXPECT_EQ(mgr.ReadClientVersion(), 0);  // missing
  for (const std::string& bytes : {std::string(), std::string("\x2c\x01\x00", 3)}) {
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    EXPECT_EQ(mgr.ReadClientVersion(), 0) << bytes.size();
  }
  ASSERT_TRUE(WriteFileBytes(path, std::string("\x2c\x01\x00\x00\xFF", 5)));
  EXPECT_EQ(mgr.ReadClientVersion(), 300);

  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(mgr.WriteClientVersion(-2));
  EXPECT_EQ(ReadFileOr(path), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(mgr.ReadClientVersion(), -2);
  EXPECT_TRUE(mgr.m_installedFilesDirty);
  InstalledFileTree expected;
  expected.Add(path.c_str());
  EXPECT_EQ(mgr.m_installedFiles.Serialize(), expected.Serialize());

  CopyString(mgr.m_gameDir, (launcher.game / "no such folder").c_str());
  EXPECT_FALSE(mgr.WriteClientVersion(1));
  EXPECT_TRUE(launcher.log.Contains("Fail to open version file."));
}
