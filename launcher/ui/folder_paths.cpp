#include "launcher/ui/folder_paths.h"

#include <cstring>

#include "launcher/core/paths.h"
#include "launcher/core/text.h"

namespace {

bool Refuse(char* out, std::size_t size) {
  if (out != nullptr && size > 0) out[0] = '\0';
  return false;
}

const char* SkipSeparators(const char* p) {
  while (IsPathSeparator(*p)) ++p;
  return p;
}

}  // namespace

bool SystemDriveRoot(const char* systemDir, char* out, std::size_t size) {
  if (systemDir == nullptr || out == nullptr || size == 0) return Refuse(out, size);
  for (const char* p = systemDir; *p != '\0'; p = NextPathChar(p)) {
    if (!IsPathSeparator(*p)) continue;
    const std::size_t length = static_cast<std::size_t>(p - systemDir) + 1;
    if (length >= size) return Refuse(out, size);
    std::memcpy(out, systemDir, length);
    out[length] = '\0';
    return true;
  }
  return Refuse(out, size);
}

bool DefaultInstallFolder(int versionClass, const char* systemDir, const char* programFiles, char* out,
                          std::size_t size) {
  if (out == nullptr || size == 0) return false;
  if (systemDir == nullptr) systemDir = "";
  char base[kMaxPath];
  bool ok = true;
  if (versionClass == 7) {
    ok = SystemDriveRoot(systemDir, base, sizeof(base)) ? AppendString(base, "Orvex") : CopyString(base, "C:\\Orvex");
  } else if (programFiles != nullptr) {
    ok = CopyString(base, programFiles);
  } else if (SystemDriveRoot(systemDir, base, sizeof(base))) {
    ok = AppendString(base, "Program Files");
  } else {
    // No separator at all: its first three characters stand for the root.
    std::size_t n = std::strlen(systemDir);
    if (n > 3) n = 3;
    std::memcpy(base, systemDir, n);
    base[n] = '\0';
    ok = AppendString(base, "Program Files");
  }
  if (!ok) return Refuse(out, size);
  return JoinPath("Talvenor", out, base, size);
}

bool AppendItemPath(char* path, std::size_t size, const char* text) {
  if (path == nullptr || size == 0) return false;
  if (!AppendString(path, size, text != nullptr ? text : "")) return Refuse(path, size);
  const std::size_t length = std::strlen(path);
  const bool endsWithBackslash = length > 0 && LastSeparator(path, length) == static_cast<long>(length) - 1 &&
                                 path[length - 1] == '\\';
  if (!endsWithBackslash && !AppendString(path, size, "\\")) return Refuse(path, size);
  return true;
}

void RemoveOneTrailingSeparator(char* path) {
  if (path == nullptr) return;
  const std::size_t length = std::strlen(path);
  if (length > 0 && LastSeparator(path, length) == static_cast<long>(length) - 1) path[length - 1] = '\0';
}

bool PathComponents::Next(char* out, std::size_t size) {
  if (out == nullptr || size == 0) return false;
  const char* start = SkipSeparators(m_next);
  if (*start == '\0') return Refuse(out, size);
  const char* end = start;
  while (*end != '\0' && !IsPathSeparator(*end)) end = NextPathChar(end);
  m_next = end;
  const std::size_t length = static_cast<std::size_t>(end - start);
  if (length >= size) return Refuse(out, size);
  std::memcpy(out, start, length);
  out[length] = '\0';
  return true;
}

bool PathComponents::AtEnd() const { return *SkipSeparators(m_next) == '\0'; }

bool IsAbsoluteFolderPath(const char* path) {
  if (path == nullptr) return false;
  const unsigned char first = static_cast<unsigned char>(path[0]);
  const bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  if (letter && path[1] == ':' && IsPathSeparator(path[2])) return true;
  return IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && path[2] != '\0' && !IsPathSeparator(path[2]);
}
