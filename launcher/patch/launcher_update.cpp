#include "launcher/patch/launcher_update.h"

#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/manifest_name.h"

namespace {

constexpr std::size_t kRenamerNameLimit = 127;

}  // namespace

bool IsLauncherUpdateDue(int publishedVersion, bool forced) {
  return forced || static_cast<unsigned>(publishedVersion) > static_cast<unsigned>(LauncherVersion);
}

bool IsUsableLauncherName(const char* name, const char* ownName) {
  if (name == nullptr || !IsSafeManifestName(name) || std::strlen(name) > kRenamerNameLimit) return false;
  if (std::strpbrk(name, "\\/ \t") != nullptr) return false;
  return ownName == nullptr || !EqualsNoCase(name, ownName);
}

bool BuildRenamerCommandLine(const CLauncherMgr& mgr, const char* renamerPath, const char* ownName,
                             const char* newName, bool background, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  if (outSize > kMaxCommandLine) outSize = kMaxCommandLine;
  if (!FormatString(out, outSize, "\"%s\" %s %s%s", renamerPath != nullptr ? renamerPath : "",
                    ownName != nullptr ? ownName : "", newName != nullptr ? newName : "", background ? " bg" : "")) {
    out[0] = '\0';
    return false;
  }
  const std::size_t names = std::strlen(out);
  if (!mgr.AppendPassThroughOptions(out, outSize)) {
    out[names] = '\0';
    mgr.Log("BuildRenamerCommandLine() : pass-through options longer than the command line; left out.");
  }
  return true;
}
