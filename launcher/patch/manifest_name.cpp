#include "launcher/patch/manifest_name.h"

#include <cstring>

#include "launcher/core/limits.h"
#include "launcher/core/paths.h"

bool IsSafeManifestName(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsPathSeparator(name[0])) return false;
  if (std::strchr(name, ':') != nullptr) return false;
  const char* component = name;
  for (const char* p = name;; p = NextPathChar(p)) {
    if (*p == '\0' || IsPathSeparator(*p)) {
      const std::size_t length = static_cast<std::size_t>(p - component);
      if (length == 0) return false;  // "a\\b" or a trailing separator: no empty components
      if (component[0] == '.' && (length == 1 || (length == 2 && component[1] == '.'))) return false;
      if (*p == '\0') return true;
      component = p + 1;
    }
  }
}

bool IsSafeRecordedName(const std::string& name) {
  if (name.empty() || name.size() >= kMaxPath) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  return IsSafeManifestName(name.c_str());
}
