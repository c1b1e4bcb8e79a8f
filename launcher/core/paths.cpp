#include "launcher/core/paths.h"

#include <cstring>

#include "launcher/core/text.h"

const char* NextPathChar(const char* p) {
  if (IsLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0') return p + 2;
  return p + 1;
}

long LastSeparator(const char* path, std::size_t length) {
  long last = -1;
  for (const char* p = path; p < path + length && *p != '\0'; p = NextPathChar(p)) {
    if (IsPathSeparator(*p)) last = static_cast<long>(p - path);
  }
  return last;
}

namespace {

// True when the path's last character is a separator.
bool EndsWithSeparator(const char* path, std::size_t length) {
  return length > 0 && LastSeparator(path, length) == static_cast<long>(length) - 1;
}

}  // namespace

bool AddTrailingSeparator(char* path, std::size_t size) {
  if (path == nullptr || size == 0) return false;
  std::size_t len = strnlen(path, size);
  if (len >= size) return false;
  if (EndsWithSeparator(path, len)) return true;
  if (len + 2 > size) return false;
  path[len] = '\\';
  path[len + 1] = '\0';
  return true;
}

void RemoveTrailingSeparators(char* path) {
  if (path == nullptr) return;
  std::size_t len = std::strlen(path);
  while (EndsWithSeparator(path, len)) path[--len] = '\0';
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
  if (EndsWithSeparator(path, len)) --len;
  // cut is the length up to and including the last separator (0: none).
  const std::size_t cut = static_cast<std::size_t>(LastSeparator(path, len) + 1);
  if (cut >= outSize) return out;
  std::memcpy(out, path, cut);
  out[cut] = '\0';
  return out;
}

char* GetFileNamePart(char* out, const char* path, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return out;
  out[0] = '\0';
  if (path == nullptr) return out;
  const char* name = path + (LastSeparator(path, std::strlen(path)) + 1);
  if (!CopyString(out, outSize, name)) out[0] = '\0';
  return out;
}

void ToForwardSlashes(char* path) {
  if (path == nullptr) return;
  for (char* p = path; *p != '\0'; p = const_cast<char*>(NextPathChar(p))) {
    if (*p == '\\') *p = '/';
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
