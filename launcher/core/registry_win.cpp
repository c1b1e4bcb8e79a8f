// CRegistry and the launcher's registrations, the installed-file record and version.dat.
#include "launcher/core/windows_api.h"

#include <shlwapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "build_settings.h"
#include "launcher/core/file_system.h"
#include "launcher/core/install_places.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/registry.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

namespace {

bool OpenOrCreate(HKEY root, const char* key, CRegKey& out) {
  if (RegCreateKeyExA(root, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, out.put(), nullptr) ==
      ERROR_SUCCESS) {
    return true;
  }
  g_launcher.Log("ERROR : CRegistry::RegCreateKey(%s) failed.", key);
  return false;
}

}  // namespace

bool CRegistry::ReadString(HKEY__* root, const char* key, char* output, const char* valueName,
                           std::size_t outputSize) {
  if (output == nullptr || outputSize == 0) return false;
  output[0] = '\0';
  CRegKey opened;
  DWORD size = static_cast<DWORD>(outputSize);
  bool ok = RegOpenKeyExA(root, key, 0, KEY_READ, opened.put()) == ERROR_SUCCESS &&
            RegQueryValueExA(opened.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(output), &size) ==
                ERROR_SUCCESS;
  // A stored value need not end with its zero: one that fills the output without it
  // does not fit.
  if (ok && size < outputSize) {
    output[size] = '\0';
  } else if (ok && output[outputSize - 1] != '\0') {
    ok = false;
  }
  if (!ok) {
    output[0] = '\0';
    g_launcher.Log("ERROR : CRegistry::ReadString(%s,%s) failed.", key, valueName != nullptr ? valueName : "");
  }
  return ok;
}

bool CRegistry::GetStringLength(const char* key, std::uint32_t* length) {
  CRegKey opened;
  DWORD size = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, opened.put()) != ERROR_SUCCESS ||
      RegQueryValueExA(opened.get(), kInstalledFilesValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    g_launcher.Log("ERROR : CRegistry::GetStringLength(%s,%s) failed.", key, kInstalledFilesValue);
    return false;
  }
  if (length != nullptr) *length = size;
  return true;
}

bool CRegistry::WriteString(const char* key, const char* text, HKEY__* root, const char* valueName) {
  if (text == nullptr) text = "";
  CRegKey opened;
  if (!OpenOrCreate(root, key, opened)) return false;
  if (RegSetValueExA(opened.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(std::strlen(text) + 1)) != ERROR_SUCCESS) {
    g_launcher.Log("ERROR : CRegistry::RegSetValueEx(%s, %s) failed.", key, text);
    return false;
  }
  return true;
}

bool CRegistry::ReadDWORD(const char* key, std::uint32_t* output) {
  CRegKey opened;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, opened.put()) != ERROR_SUCCESS ||
      RegQueryValueExA(opened.get(), kBrowserEmulationValue, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    g_launcher.Log("ERROR : CRegistry::ReadDWORD(%s,%s) failed.", key, kBrowserEmulationValue);
    return false;
  }
  if (output != nullptr) *output = value;
  return true;
}

bool CRegistry::WriteDWORD(std::uint32_t number, const char* key) {
  CRegKey opened;
  if (!OpenOrCreate(HKEY_CURRENT_USER, key, opened)) return false;
  const DWORD value = number;
  if (RegSetValueExA(opened.get(), kBrowserEmulationValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof(value)) != ERROR_SUCCESS) {
    g_launcher.Log("ERROR : CRegistry::RegSetValueEx(%s, %s) failed.", key, kBrowserEmulationValue);
    return false;
  }
  return true;
}

bool CRegistry::DeleteValue(const char* key, HKEY__* root, const char* valueName) {
  CRegKey opened;
  if (RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, opened.put()) != ERROR_SUCCESS) return false;
  return RegDeleteValueA(opened.get(), valueName) == ERROR_SUCCESS;
}

bool CRegistry::DeleteKey(HKEY__* root, const char* key) { return SHDeleteKeyA(root, key) == ERROR_SUCCESS; }

// --- Launcher operations on the store -------------------------------------------------------

namespace {

// The game directory as the registrations write it: without trailing separators.
void BareGameDir(const CLauncherMgr& mgr, char (&out)[kMaxPath]) {
  CopyString(out, mgr.m_gameDir);
  RemoveTrailingSeparators(out);
}

struct NamedValue {
  const char* name;
  const char* text;
};

// Writes every value, also after a failure (each one logs its own line).
template <std::size_t N>
bool WriteValues(HKEY root, const char* key, const NamedValue (&values)[N]) {
  bool ok = true;
  for (const NamedValue& value : values) ok = CRegistry::WriteString(key, value.text, root, value.name) && ok;
  return ok;
}

}  // namespace

bool CLauncherMgr::ReadGameDirFromRegistry(char* out) {
  if (out == nullptr) return false;
  return CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, out, "", kMaxPath) && out[0] != '\0';
}

bool CLauncherMgr::WriteUninstallEntry() {
  char key[kMaxPath];
  char dir[kMaxPath];
  char uninstall[kMaxPath];
  BareGameDir(*this, dir);
  if (!FormatString(key, sizeof(key), "%s%s", kUninstallKeyBase, m_title) ||
      !FormatString(uninstall, sizeof(uninstall), "%s\\%s /uninstall", dir, "Talvenor.exe")) {
    Log("ERROR : CLauncherMgr::WriteUninstallEntry() : path too long.");
    return false;
  }
  const NamedValue values[] = {
      {"DisplayName", m_title},
      {"DisplayLocation", dir},
      {"UninstallString", uninstall},
      {"Publisher", "pinFOX"},
      {"URLInfoAbout", TALV_PORTAL_URL},
  };
  return WriteValues(HKEY_LOCAL_MACHINE, key, values);
}

bool CLauncherMgr::RegisterLobbyApplication() {
  char name[kMaxPath];
  char description[kMaxPath];
  char dir[kMaxPath];
  BareGameDir(*this, dir);
  const NamedValue values[] = {
      {"ApplicationName", GetString(sizeof(name), name, IDS_LOBBY_NAME)},
      {"CommandLine", ""},
      {"CurrentDirectory", ""},
      {"Description", GetString(sizeof(description), description, IDS_LOBBY_DESCRIPTION)},
      {"ExecutableFilename", "Talvenor.exe"},
      {"ExecutablePath", dir},
      {"Guid", kLobbyGuid},
      {"LauncherFilename", "Talvenor.exe"},
      {"LauncherPath", dir},
  };
  return WriteValues(HKEY_CURRENT_USER, kProductKey, values);
}

bool CLauncherMgr::IsLobbyApplicationRegistered() {
  char name[kMaxShortCommandLine];
  return CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, name, "ApplicationName", sizeof(name));
}

bool CLauncherMgr::RemoveProductKey() { return CRegistry::DeleteKey(HKEY_CURRENT_USER, kProductKey); }

bool CLauncherMgr::RemoveDirectPlayRegistration() { return CRegistry::DeleteKey(HKEY_LOCAL_MACHINE, kDirectPlayKey); }

bool CLauncherMgr::SetBrowserEmulation() {
  char version[kMaxShortCommandLine];
  const bool known = CRegistry::ReadString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, version, "svcVersion",
                                           sizeof(version)) ||
                     CRegistry::ReadString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, version, "Version",
                                           sizeof(version));
  const std::uint32_t level = BrowserEmulationLevel(known ? version : nullptr);
  std::uint32_t current = 0;
  if (!CRegistry::ReadDWORD(kBrowserEmulationKey, &current)) current = 0;
  if (current == level) return true;
  return CRegistry::WriteDWORD(level, kBrowserEmulationKey);
}

bool CLauncherMgr::RemoveBrowserEmulation() {
  return CRegistry::DeleteValue(kBrowserEmulationKey, HKEY_CURRENT_USER, kBrowserEmulationValue);
}

bool CLauncherMgr::LoadInstalledFiles() {
  std::uint32_t size = 0;
  if (!CRegistry::GetStringLength(kProductKey, &size) || size < 2) return false;
  // One byte more than the value: a value stored without its zero still reads whole.
  std::unique_ptr<char[]> text(new (std::nothrow) char[size + 1]);
  if (!text) return false;
  if (!CRegistry::ReadString(HKEY_CURRENT_USER, kProductKey, text.get(), kInstalledFilesValue, size + 1)) {
    return false;
  }
  return ParseInstalledFiles(text.get(), std::strlen(text.get()));
}

bool CLauncherMgr::SaveInstalledFiles() {
  if (!m_installedFilesDirty) return true;
  if (!CRegistry::WriteString(kProductKey, m_installedFiles.Serialize().c_str(), HKEY_CURRENT_USER,
                              kInstalledFilesValue)) {
    return false;
  }
  m_installedFilesDirty = false;
  return true;
}

bool CLauncherMgr::DeleteInstalledFiles() {
  // The record is only a registry value any program of the user can write, and this runs
  // elevated: nothing outside the installation's own places goes, nothing through a link.
  InstallPlaces places;
  CollectInstallPlaces(*this, &places);
  m_installedFiles.Walk(
      [](const char* path, bool folder, void* context) {
        const RemovalResult result = RemoveInsidePlaces(*static_cast<const InstallPlaces*>(context), path,
                                                        folder ? RemovalKind::Folder : RemovalKind::File);
        LogRefusedRemoval("CLauncherMgr::DeleteInstalledFiles()", path, result);
      },
      &places);
  m_installedFiles.Clear();
  m_installedFilesDirty = false;
  return CRegistry::WriteString(kProductKey, "", HKEY_CURRENT_USER, kInstalledFilesValue);
}

int CLauncherMgr::ReadClientVersion() {
  char path[kMaxPath];
  if (!JoinPath("version.dat", path, m_gameDir)) return 0;
  CFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!file) return 0;
  unsigned char bytes[4] = {};
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes, sizeof(bytes), &read, nullptr) || read != sizeof(bytes)) return 0;
  const std::uint32_t value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<int>(value);
}

bool CLauncherMgr::WriteClientVersion(int version) {
  char path[kMaxPath];
  if (!JoinPath("version.dat", path, m_gameDir)) {
    Log("Fail to open version file.");
    return false;
  }
  ClearReadOnly(path);
  {
    CFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      Log("Fail to open version file.");
      return false;
    }
    const std::uint32_t value = static_cast<std::uint32_t>(version);
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes, sizeof(bytes), &written, nullptr) || written != sizeof(bytes)) {
      Log("Fail to write version.");
      return false;
    }
  }
  AddInstalledFile(path);
  return true;
}
