#include "launcher/core/file_system.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/win_handle.h"

bool FileExists(const char* path) {
  return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
  if (path == nullptr) return false;
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool GetSpecialFolder(int csidl, char (&out)[kMaxPath]) {
  char folder[MAX_PATH];
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)) &&
         CopyString(out, folder) && out[0] != '\0';
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

long CreateShellLink(const char* target, const char* linkPath, int iconIndex, const char* iconPath,
                     const char* description, const char* arguments, const char* workingDir) {
  CComPtr<IShellLinkA> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put());
  if (FAILED(hr)) return hr;
  link->SetPath(target);
  link->SetDescription(description != nullptr ? description : "");
  if (iconIndex != -1) link->SetIconLocation(iconPath != nullptr ? iconPath : target, iconIndex);
  if (arguments != nullptr) link->SetArguments(arguments);
  link->SetWorkingDirectory(workingDir != nullptr ? workingDir : "");
  CComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, file.put());
  if (FAILED(hr)) return hr;
  wchar_t wide[kMaxPath] = {};
  if (linkPath != nullptr) MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wide, kMaxPath - 1);
  file->Save(wide, TRUE);  // a failed save is not reported, as callers expect
  return 0;
}
