#include "launcher/patch/safe_file.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"

namespace {
constexpr std::size_t kChildPath = 512;  // children of a 259-character folder still fit
}

bool CFile::RemoveDirectory(const char* path, bool force) {
  if (path == nullptr || path[0] == '\0') return false;
  char pattern[kChildPath];
  if (!FormatString(pattern, sizeof(pattern), "%s\\*.*", path)) return false;
  bool result = true;
  {
    WIN32_FIND_DATAA entry;
    CFindHandle find(FindFirstFileA(pattern, &entry));
    if (!find) return true;
    do {
      if (entry.cFileName[0] == '.') continue;
      char child[kChildPath];
      if (!JoinPath(entry.cFileName, child, path, sizeof(child))) {
        if (force) continue;
        result = false;
        break;
      }
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
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
    } while (FindNextFileA(find.get(), &entry));
  }
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (!::RemoveDirectoryA(path)) g_launcher.Log("CFile::RemoveDirectory() : RemoveDirectory(%s) failed.", path);
  return result;
}
