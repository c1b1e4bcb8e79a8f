#include "launcher/core/paths.h"

#include <cstring>

#include "launcher/core/text.h"

bool AddTrailingSeparator(char* path, std::size_t size) {
  if (path == nullptr || size == 0) return false;
  std::size_t len = strnlen(path, size);
  if (len >= size) return false;
  if (len > 0 && IsPathSeparator(path[len - 1])) return true;
  if (len + 2 > size) return false;
  path[len] = '\\';
  path[len + 1] = '\0';
  return true;
}

void RemoveTrailingSeparators(char* path) {
  if (path == nullptr) return;
  std::size_t len = std::strlen(path);
  while (len > 0 && IsPathSeparator(path[len - 1])) path[--len] = '\0';
}

bool JoinPath(const char* name, char* out, const char* folder, std::size_t outSize) {
  if (name == nullptr || out == nullptr || folder == nullptr || outSize == 0) return false;
  char joined[kJoinBuffer];
  bool ok = CopyString(joined, folder) && AddTrailingSeparator(joined);
  if (IsPathSeparator(name[0])) ++name;
  ok = ok && AppendString(joined, name);
  if (!ok || !CopyString(out, outSize, joined)) {
    out[0] = '\0';
    return false;
  }
  return true;
}

char* GetParentDir(char* out, const char* path, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return out;
  out[0] = '\0';
  if (path == nullptr) return out;
  std::size_t len = std::strlen(path);
  if (len > 0 && IsPathSeparator(path[len - 1])) --len;
  std::size_t cut = len;
  while (cut > 0 && !IsPathSeparator(path[cut - 1])) --cut;
  // cut is the length up to and including the last separator (0: none).
  if (cut >= outSize) return out;
  std::memcpy(out, path, cut);
  out[cut] = '\0';
  return out;
}

char* GetFileNamePart(char* out, const char* path, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return out;
  out[0] = '\0';
  if (path == nullptr) return out;
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (IsPathSeparator(*p)) name = p + 1;
  }
  if (!CopyString(out, outSize, name)) out[0] = '\0';
  return out;
}

void ToForwardSlashes(char* path) {
  if (path == nullptr) return;
  for (; *path != '\0'; ++path) {
    if (*path == '\\') *path = '/';
  }
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return;
  std::size_t pos = 0;
  while ((pos = text.find(what, pos)) != std::string::npos) {
    text.replace(pos, what.size(), with);
    pos += with.size();
  }
}
