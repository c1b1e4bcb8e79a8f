#include "launcher/core/file_system.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/paths.h"
#include "launcher/core/safe_file.h"

bool FileExists(const char* path) {
  return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void ClearReadOnly(const char* path) {
  if (path == nullptr) return;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

bool CreateDirectories(const char* path, bool removeExisting) {
  if (path == nullptr) return false;
  if (path[0] == '\0') return true;
  if (FileExists(path)) {
    if (!removeExisting) return true;
    CFile::RemoveDirectory(path, true);
  }
  char parent[kMaxPath];
  GetParentDir(parent, path);
  if (!FileExists(parent) && !CreateDirectories(parent, false)) return false;
  return CreateDirectoryA(path, nullptr) != FALSE;
}

namespace {
template <typename T>
struct ComRelease {
  T* p = nullptr;
  ~ComRelease() { if (p != nullptr) p->Release(); }
};
}  // namespace

long CreateShellLink(const char* target, const char* linkPath, int iconIndex, const char* iconPath,
                     const char* description, const char* arguments, const char* workingDir) {
  ComRelease<IShellLinkA> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link.p));
  if (FAILED(hr)) return hr;
  link.p->SetPath(target);
  link.p->SetDescription(description != nullptr ? description : "");
  if (iconIndex != -1) link.p->SetIconLocation(iconPath != nullptr ? iconPath : target, iconIndex);
  if (arguments != nullptr) link.p->SetArguments(arguments);
  link.p->SetWorkingDirectory(workingDir != nullptr ? workingDir : "");
  ComRelease<IPersistFile> file;
  hr = link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p));
  if (FAILED(hr)) return hr;
  wchar_t wide[kMaxPath] = {};
  if (linkPath != nullptr) MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wide, kMaxPath - 1);
  file.p->Save(wide, TRUE);  // a failed save is not reported, as callers expect
  return 0;
}
