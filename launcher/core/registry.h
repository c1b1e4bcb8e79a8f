// Registry access with one logged line per failure, and the keys and values the launcher
// keeps outside the game files. The header carries no Windows header: roots are HKEY
// handles, declared as <windows.h> declares them (STRICT).
#pragma once
#include <cstddef>
#include <cstdint>

struct HKEY__;

// Product key under the current user: game directory (default value), "Files" and the
// lobby-application values.
constexpr const char kProductKey[] = "Software\\Orvex\\Talvenor";
constexpr const char kInstalledFilesValue[] = "Files";
constexpr const char kUninstallKeyBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char kLobbyGuid[] = "{DC162314-2E40-49b4-A5E2-B26390179CC4}";
constexpr const char kDirectPlayKey[] =
    "SOFTWARE\\Microsoft\\DirectPlay8\\Applications\\{DC162314-2E40-49b4-A5E2-B26390179CC4}";
constexpr const char kBrowserEmulationKey[] =
    "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
constexpr const char kBrowserEmulationValue[] = "client.exe";
constexpr const char kInternetExplorerKey[] = "Software\\Microsoft\\Internet Explorer";

class CRegistry {
 public:
  // Reads a value of any type into output (always zero-terminated; emptied first). A value
  // that does not fit is a failure. valueName "" is the key's default value.
  static bool ReadString(HKEY__* root, const char* key, char* output, const char* valueName,
                         std::size_t outputSize);
  // Size in bytes, terminating zero included, of "Files" under the current user.
  static bool GetStringLength(const char* key, std::uint32_t* length);
  static bool WriteString(const char* key, const char* text, HKEY__* root, const char* valueName);
  // "client.exe" under the current user, which must be a 32-bit number.
  static bool ReadDWORD(const char* key, std::uint32_t* output);
  static bool WriteDWORD(std::uint32_t number, const char* key);
  // Silent: a missing key or value is what the caller wants anyway.
  static bool DeleteValue(const char* key, HKEY__* root, const char* valueName);
  // Removes a key with everything below it.
  static bool DeleteKey(HKEY__* root, const char* key);
};

// The browser-emulation level for the browser version text ("svcVersion" or "Version"):
// the number before the first "." picks 11000, 10000, 9000, 8000 or 7000. No text, no
// ".", or anything but decimal digits before it counts as version 0.
std::uint32_t BrowserEmulationLevel(const char* versionText);
