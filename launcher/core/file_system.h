// File-system helpers every subsystem uses to test, prepare, list and link paths.
#pragma once
#include "launcher/core/windows_api.h"

#include "launcher/core/limits.h"
#include "launcher/core/win_handle.h"

bool FileExists(const char* path);  // files and folders alike; false for null
// An existing folder (not a file); false for null.
bool IsFolder(const char* path);
void ClearReadOnly(const char* path);
// Creates the folder and every missing folder above it. With removeExisting, an existing
// folder is first removed with all its content.
bool CreateDirectories(const char* path, bool removeExisting);
// Writes a shell shortcut. Returns 0, or the error code of the first failing creation.
long CreateShellLink(const char* target, const char* linkPath, int iconIndex, const char* iconPath,
                     const char* description, const char* arguments, const char* workingDir);

// A system folder by its CSIDL number (the user's Programs, Documents, Desktop, ...) into
// out; false when the system has none or it does not fit.
bool GetSpecialFolder(int csidl, char (&out)[kMaxPath]);

// The running program's own path; false (out empty) when it does not fit. Inline, so that
// the companion programs, which link none of the launcher, share it.
inline bool GetModulePath(char* out, DWORD size) {
  if (out == nullptr || size == 0) return false;
  const DWORD n = GetModuleFileNameA(nullptr, out, size);
  if (n != 0 && n < size) return true;
  out[0] = '\0';
  return false;
}
template <DWORD N>
bool GetModulePath(char (&out)[N]) { return GetModulePath(out, N); }

// The entries FindFirstFile lists for a pattern ("C:\Games\*.*"), "." and ".." included:
//   for (CDirectoryIterator it(pattern); it.Next();) { ... it.Name() ... }
class CDirectoryIterator {
 public:
  explicit CDirectoryIterator(const char* pattern) : m_pattern(pattern) {}
  CDirectoryIterator(const CDirectoryIterator&) = delete;
  CDirectoryIterator& operator=(const CDirectoryIterator&) = delete;

  // Moves to the first, then each next entry; false once there is none (or no such folder).
  bool Next() {
    if (m_pattern != nullptr) {
      m_find.reset(FindFirstFileA(m_pattern, &m_entry));
      m_pattern = nullptr;
      return static_cast<bool>(m_find);
    }
    return m_find && FindNextFileA(m_find.get(), &m_entry) != FALSE;
  }
  const WIN32_FIND_DATAA& Entry() const { return m_entry; }
  const char* Name() const { return m_entry.cFileName; }
  bool IsFolder() const { return (m_entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  // "." or "..".
  bool IsDotEntry() const {
    return m_entry.cFileName[0] == '.' &&
           (m_entry.cFileName[1] == '\0' || (m_entry.cFileName[1] == '.' && m_entry.cFileName[2] == '\0'));
  }

 private:
  const char* m_pattern;
  CFindHandle m_find;
  WIN32_FIND_DATAA m_entry = {};
};
