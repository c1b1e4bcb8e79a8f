#include "launcher/core/safe_file.h"

#include "launcher/core/windows_api.h"

#include <mmsystem.h>

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"

namespace {
constexpr std::size_t kChildPath = 512;  // children of a 259-character folder still fit

int LastError() { return static_cast<int>(GetLastError()); }
}  // namespace

SafeFileLimits g_safeFileLimits;

bool CFile::RemoveDirectory(const char* path, bool force) {
  if (path == nullptr || path[0] == '\0') return false;
  char pattern[kChildPath];
  if (!FormatString(pattern, sizeof(pattern), "%s\\*.*", path)) return false;
  bool result = true;
  {
    CDirectoryIterator entry(pattern);
    if (!entry.Next()) return true;
    do {
      if (entry.Name()[0] == '.') continue;
      char child[kChildPath];
      if (!JoinPath(entry.Name(), child, path, sizeof(child))) {
        if (force) continue;
        result = false;
        break;
      }
      if (entry.IsFolder()) {
        if (!RemoveDirectory(child, force) && !force) {
          result = false;
          break;
        }
      } else {
        SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(child)) {
          g_launcher.Log("CFile::RemoveDirectory() : DeleteFile(%s) failed.", child);
          if (!force) {
            result = false;
            break;
          }
        }
      }
    } while (entry.Next());
  }
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (!::RemoveDirectoryA(path)) g_launcher.Log("CFile::RemoveDirectory() : RemoveDirectory(%s) failed.", path);
  return result;
}

bool SafeDeleteFile(const char* path) {
  if (path == nullptr) return false;
  if (!FileExists(path)) return true;
  const DWORD start = timeGetTime();
  int retries = 0;
  while (!DeleteFileA(path)) {
    const int error = LastError();
    if (!FileExists(path)) return true;
    g_launcher.Log("SafeMoveFile : fail to delete \"%s\" error code:%d", path, error);
    ClearReadOnly(path);
    g_launcher.Log("SafeMoveFile : retried to delete \"%s\" for %dms, %dcnt", path,
                   static_cast<int>(timeGetTime() - start), retries);
    Sleep(g_safeFileLimits.retryPauseMs);
    ++retries;
    if (timeGetTime() - start > g_safeFileLimits.retryLimitMs) break;
  }
  return !FileExists(path);
}

bool SafeMoveFile(const char* destination, const char* source) {
  if (destination == nullptr || source == nullptr) return false;
  const DWORD attributes = GetFileAttributesA(source);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    g_launcher.Log("SafeMoveFile : src \"%s\" not found.", source);
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    g_launcher.Log("SafeMoveFile : src \"%s\"is a directory.", source);
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) &&
      !SetFileAttributesA(source, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
    g_launcher.Log("SafeMoveFile : fail to remove readonly attr of src \"%s\" error code:%d", source, LastError());
    return false;
  }
  char parent[kMaxPath];
  CreateDirectories(GetParentDir(parent, destination), false);
  if (!SafeDeleteFile(destination)) {
    g_launcher.Log("SafeMoveFile : delete target file. \"%s\" to \"%s\" error code:%d", source, destination,
                   LastError());
    return false;
  }
  if (!CopyFileA(source, destination, TRUE)) {
    g_launcher.Log("SafeMoveFile : fail to copy \"%s\" to \"%s\" error code:%d", source, destination, LastError());
    return false;
  }
  if (!DeleteFileA(source)) {
    const DWORD start = timeGetTime();
    int retries = 0;
    int error = 0;
    while (!DeleteFileA(source)) {
      error = LastError();
      Sleep(g_safeFileLimits.retryPauseMs);
      ++retries;
      if (timeGetTime() - start > g_safeFileLimits.retryLimitMs) break;
    }
    if (FileExists(source)) {
      g_launcher.Log("SafeMoveFile : fail to delete \"%s\" error code:%d", source, error);
      return false;
    }
    g_launcher.Log("SafeMoveFile : retried to delete \"%s\" for %dms, %dcnt", source,
                   static_cast<int>(timeGetTime() - start), retries);
  }
  if (!FileExists(destination)) {
    g_launcher.Log("SafeMoveFile : \"%s\" doesn't exist!", destination);
    return false;
  }
  return true;
}
