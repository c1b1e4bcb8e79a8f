// What the uninstall tests share: the registrations an installation leaves, and the check
// that an uninstall took them all away as it should.
#pragma once
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/limits.h"
#include "launcher/core/registry.h"
#include "launcher/core/win_handle.h"

inline const std::string kUninstallKey = std::string(kUninstallKeyBase) + "talvenor";

inline std::string SpecialFolder(int csidl) {
  char folder[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)) ? folder : "";
}

// Values and subkeys of a key; false when it does not exist.
inline bool KeyContent(HKEY root, const std::string& key, DWORD* values, DWORD* subkeys) {
  CRegKey k;
  return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS &&
         RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values, nullptr, nullptr,
                          nullptr, nullptr) == ERROR_SUCCESS;
}

// The registrations are shared by the whole test program.
inline void RemoveRegistrations() {
  CRegistry::DeleteKey(HKEY_CURRENT_USER, kProductKey);
  CRegistry::DeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
  CRegistry::DeleteKey(HKEY_LOCAL_MACHINE, kDirectPlayKey);
  CRegistry::DeleteValue(kBrowserEmulationKey, HKEY_CURRENT_USER, kBrowserEmulationValue);
}

// The registrations an installation of gameDir leaves, and a DirectPlay8 subkey with a value
// that this launcher never writes (an older one left it behind). For ASSERT_NO_FATAL_FAILURE.
inline void WriteRegistrations(CLauncherMgr& mgr, const std::string& gameDir) {
  ASSERT_TRUE(CRegistry::WriteString(kProductKey, gameDir.c_str(), HKEY_CURRENT_USER, ""));
  ASSERT_TRUE(mgr.RegisterLobbyApplication());
  ASSERT_TRUE(mgr.WriteUninstallEntry());
  ASSERT_TRUE(mgr.SetBrowserEmulation());
  CRegKey sub;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kDirectPlayKey) + "\\Sub").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, sub.put(), nullptr),
            ERROR_SUCCESS);
  const char text[] = "y";
  ASSERT_EQ(RegSetValueExA(sub.get(), "x", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)),
            ERROR_SUCCESS);
}

// After an uninstall: the Uninstall values gone (the key stays), the product key with only
// its empty default value, the DirectPlay8 key and the browser emulation gone.
inline void ExpectRegistrationsRemoved(CLauncherMgr& mgr) {
  DWORD values = 99, subkeys = 99;
  ASSERT_TRUE(KeyContent(HKEY_LOCAL_MACHINE, kUninstallKey, &values, &subkeys));
  EXPECT_EQ(values, 0u);
  ASSERT_TRUE(KeyContent(HKEY_CURRENT_USER, kProductKey, &values, &subkeys));
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(subkeys, 0u);
  char dir[kMaxPath] = "x";
  EXPECT_FALSE(mgr.ReadGameDirFromRegistry(dir));
  EXPECT_STREQ(dir, "");
  EXPECT_FALSE(KeyContent(HKEY_LOCAL_MACHINE, kDirectPlayKey, &values, &subkeys));
  std::uint32_t level = 0;
  EXPECT_FALSE(CRegistry::ReadDWORD(kBrowserEmulationKey, &level));
}
