// Path arithmetic of the install folder page and the folder chooser. Every function writes
// only inside the size it is given and refuses (false, output emptied) what does not fit.
#pragma once
#include <cstddef>

// The system drive's root ("C:\") from the system directory: everything up to and including
// its first separator. False when it has none.
bool SystemDriveRoot(const char* systemDir, char* out, std::size_t size);

// The folder the install page proposes. versionClass as GetWindowsVersionClass gives it;
// programFiles is the shell's program-files folder, null when the shell could not say.
bool DefaultInstallFolder(int versionClass, const char* systemDir, const char* programFiles, char* out,
                          std::size_t size);

// A tree item's path from its parent's: the item's text appended, then "\" unless the
// result already ends with one ("" + "C:" gives "C:\").
bool AppendItemPath(char* path, std::size_t size, const char* text);

// A chosen folder as the chooser hands it out: one trailing "\" or "/" removed.
void RemoveOneTrailingSeparator(char* path);

// The components of a path, left to right; "\" and "/" separate, empty components are
// skipped. A separator byte inside a double-byte character does not split.
class PathComponents {
 public:
  explicit PathComponents(const char* path) : m_next(path != nullptr ? path : "") {}
  // The next component into out; false at the end or when it does not fit.
  bool Next(char* out, std::size_t size);
  // True when no component follows the one Next returned last.
  bool AtEnd() const;

 private:
  const char* m_next;
};

// A folder typed by the user must name its drive ("C:\...") or a share ("\\server\...");
// anything else would be taken relative to the launcher's working folder.
bool IsAbsoluteFolderPath(const char* path);
