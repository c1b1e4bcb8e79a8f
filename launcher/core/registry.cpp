// The parts of the registry store that only compute: the browser-emulation level and the
// installed-file record kept in CLauncherMgr.
#include "launcher/core/registry.h"

#include "launcher/core/launcher_mgr.h"

std::uint32_t BrowserEmulationLevel(const char* versionText) {
  std::uint32_t major = 0;
  if (versionText != nullptr) {
    const char* p = versionText;
    std::uint32_t value = 0;
    bool digits = true;
    for (; *p != '\0' && *p != '.'; ++p) {
      if (*p < '0' || *p > '9') {
        digits = false;
        break;
      }
      if (value < 100000) value = value * 10 + static_cast<std::uint32_t>(*p - '0');
    }
    if (digits && *p == '.' && p != versionText) major = value;
  }
  if (major > 10) return 11000;
  if (major == 10) return 10000;
  if (major == 9) return 9000;
  if (major == 8) return 8000;
  return 7000;
}

void CLauncherMgr::AddInstalledFile(const char* path) {
  if (path == nullptr) return;
  switch (m_installedFiles.Add(path)) {
    case InstalledFileTree::AddResult::Added:
      m_installedFilesDirty = true;
      break;
    case InstalledFileTree::AddResult::Known:
      break;
    case InstalledFileTree::AddResult::Refused:
      Log("CLauncherMgr::AddInstalledFile() : \"%s\" cannot be recorded.", path);
      break;
  }
}

bool CLauncherMgr::ParseInstalledFiles(const char* text, std::size_t length) {
  const bool ok = m_installedFiles.Parse(text, length);
  if (!ok) Log("CLauncherMgr::LoadInstalledFiles() : \"Files\" is damaged; the record ends at the fault.");
  m_installedFilesDirty = false;
  return ok;
}
