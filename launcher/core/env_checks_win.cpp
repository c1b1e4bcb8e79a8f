#include "launcher/core/env_checks.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/pe_image.h"
#include "launcher/core/registry.h"
#include "launcher/core/text.h"
#include "launcher/core/win_handle.h"

namespace {

constexpr const char kLayersKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

// A window of the class must still be there after three looks a second apart: a program
// that is just closing does not count.
bool IsWindowClassPersistent(const char* windowClass, const char* logLine) {
  if (!g_launcher.m_initialized) return false;
  for (int look = 0; look < 3; ++look) {
    if (FindWindowA(windowClass, nullptr) == nullptr) return false;
    Sleep(1000);
  }
  g_launcher.Log("%s", logLine);
  return true;
}

bool LongModulePath(char* out, DWORD size) {
  char module[kMaxPath];
  DWORD n = GetModuleFileNameA(nullptr, module, sizeof(module));
  if (n == 0 || n >= sizeof(module)) return false;
  DWORD m = GetLongPathNameA(module, out, size);
  return m != 0 && m < size;
}

}  // namespace

bool IsOtherLauncherRunning() {
  return IsWindowClassPersistent("pinfox_launcher", "Other launcher instance is running.");
}

bool IsCompatibilityModeSet() {
  CRegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kLayersKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  DWORD count = 0;
  if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  char longPath[kMaxPath];
  if (!LongModulePath(longPath, sizeof(longPath))) return false;
  for (DWORD i = 0; i < count; ++i) {
    char name[kMaxPath];
    DWORD nameSize = sizeof(name);
    if (RegEnumValueA(key.get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      continue;
    }
    if (EqualsNoCase(name, longPath)) return true;
  }
  return false;
}

void ClearCompatibilityMode() {
  char longPath[kMaxPath];
  if (!LongModulePath(longPath, sizeof(longPath))) return;
  CRegistry::DeleteValue(kLayersKey, HKEY_CURRENT_USER, longPath);
}

std::uint32_t CLauncherMgr::GetSecuritySize(const char* path) {
  std::uint32_t size = 0;
  DWORD error = 0;
  {
    CFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    CKernelHandle mapping;
    CMappedView view;
    LARGE_INTEGER fileSize = {};
    if (file && GetFileSizeEx(file.get(), &fileSize)) {
      mapping.reset(CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    }
    if (mapping) view.reset(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (view) {
      PeCertificateTableSize(static_cast<const unsigned char*>(view.get()),
                             static_cast<std::size_t>(fileSize.QuadPart), &size);
    }
    error = GetLastError();
  }
  if (size == 0) Log("CLauncherMgr::GetSecuritySize() : Failed with error code (%d).", static_cast<int>(error));
  return size;
}
