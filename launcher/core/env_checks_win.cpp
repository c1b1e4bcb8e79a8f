#include "launcher/core/env_checks.h"

#include "launcher/core/windows_api.h"

#include <cstdlib>

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/pe_image.h"
#include "launcher/core/registry.h"
#include "launcher/core/text.h"
#include "launcher/core/token_reader.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

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
  if (!GetModulePath(module)) return false;
  DWORD m = GetLongPathNameA(module, out, size);
  return m != 0 && m < size;
}

// Asks about the drive's root: the bare "C:" would name the drive's current folder, which
// lies on the same volume anyway.
bool SystemFreeSpace(const char* drive, std::uint64_t* freeBytes) {
  char root[kMaxPath];
  ULARGE_INTEGER available = {};
  if (!CopyString(root, drive) || !AddTrailingSeparator(root) ||
      !GetDiskFreeSpaceExA(root, &available, nullptr, nullptr)) {
    return false;
  }
  *freeBytes = available.QuadPart;
  return true;
}

FreeSpaceQuery g_freeSpaceQuery = &SystemFreeSpace;

}  // namespace

void SetFreeSpaceQuery(FreeSpaceQuery query) { g_freeSpaceQuery = query != nullptr ? query : &SystemFreeSpace; }

bool IsOtherGameRunning() { return IsWindowClassPersistent("Talvenor", "Other game is running."); }

bool IsXmlLibraryInstalled() {
  if (!g_launcher.m_initialized) return false;
  static const CLSID kDocumentClass = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  static const IID kDocumentInterface = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  bool installed = false;
  {
    CComScope ole(true);
    CComPtr<IUnknown> document;
    installed = SUCCEEDED(CoCreateInstance(kDocumentClass, nullptr, CLSCTX_INPROC_SERVER, kDocumentInterface,
                                           document.put())) &&
                document;
  }
  g_launcher.Log("Check XML library installed : %s", installed ? "installed" : "not installed");
  return installed;
}

bool IsDirectX9Installed() {
  // The launcher runs with administrator rights: a library loaded by its bare name could be
  // any "d3d9.dll" lying in the game or working folder. Only the system's own counts.
  char system[kMaxPath];
  char path[kMaxPath];
  const UINT n = GetSystemDirectoryA(system, sizeof(system));
  bool installed = false;
  if (n != 0 && n < sizeof(system) && JoinPath("d3d9.dll", path, system)) {
    CModule library(LoadLibraryA(path));
    installed = static_cast<bool>(library);
  }
  g_launcher.Log("Check DirectX9 installed : %s", installed ? "installed" : "not installed");
  return installed;
}

bool IsClientInstalled() {
  char client[kMaxPath], movie[kMaxPath], mp3[kMaxPath];
  const char* dir = g_launcher.m_gameDir;
  return JoinPath("client.exe", client, dir) && JoinPath("movie", movie, dir) && JoinPath("mp3", mp3, dir) &&
         FileExists(client) && IsFolder(movie) && IsFolder(mp3);
}

bool HasEnoughDiskSpace(const char* path) {
  TokenReader reader(path);
  reader.AddDelimiter('/').AddDelimiter('\\');
  const char* drive = reader.NextToken();
  if (drive == nullptr) return false;
  char required[32];
  const long long requiredMiB = std::atoll(g_launcher.GetString(sizeof(required), required, IDS_REQUIRED_DISK_MB));
  std::uint64_t freeBytes = 0;
  if (!g_freeSpaceQuery(drive, &freeBytes)) freeBytes = 0;
  // Counted in 64 bits: a 32-bit figure would turn a very large drive negative.
  const long long freeMiB = static_cast<long long>(freeBytes >> 20);
  return requiredMiB < freeMiB;
}

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
