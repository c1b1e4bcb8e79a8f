// Checks of what an installation leaves in the shell, shared by the installation and
// uninstallation tests: shortcuts read back through the shell's link object, and the
// temporary copies talvremover runs from.
#pragma once
#include "launcher/core/windows_api.h"

#include <set>
#include <string>

#include "launcher/core/win_handle.h"

namespace shell_checks {

template <typename T>
struct ComOwner {
  ComOwner() = default;
  ComOwner(const ComOwner&) = delete;
  ComOwner& operator=(const ComOwner&) = delete;
  ~ComOwner() {
    if (p != nullptr) p->Release();
  }
  T* p = nullptr;
};

// What a shortcut holds; read is false when the link could not be loaded.
struct ShellLinkInfo {
  bool read = false;
  std::string target, arguments, workingDir, iconPath, description;
  int iconIndex = -1;
};

inline ShellLinkInfo ReadShellLink(const std::string& path) {
  ShellLinkInfo info;
  ComOwner<IShellLinkA> link;
  ComOwner<IPersistFile> file;
  wchar_t wide[MAX_PATH] = {};
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link.p))) ||
      FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))) ||
      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0 ||
      FAILED(file.p->Load(wide, STGM_READ))) {
    return info;
  }
  char text[1024];
  text[0] = '\0';
  link.p->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
  info.target = text;
  text[0] = '\0';
  link.p->GetArguments(text, sizeof(text));
  info.arguments = text;
  text[0] = '\0';
  link.p->GetWorkingDirectory(text, sizeof(text));
  info.workingDir = text;
  text[0] = '\0';
  link.p->GetDescription(text, sizeof(text));
  info.description = text;
  text[0] = '\0';
  link.p->GetIconLocation(text, sizeof(text), &info.iconIndex);
  info.iconPath = text;
  info.read = true;
  return info;
}

// The temporary files talvremover is written to ("tal" + hex digits + ".tmp"): a test that
// starts the remover waits until they are as before, so that no remover outlives it.
inline std::set<std::string> RemoverFiles() {
  std::set<std::string> names;
  char temp[MAX_PATH];
  if (GetTempPathA(sizeof(temp), temp) == 0) return names;
  WIN32_FIND_DATAA found;
  CFindHandle find(FindFirstFileA((std::string(temp) + "tal*.tmp").c_str(), &found));
  if (!find) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.insert(found.cFileName);
  } while (FindNextFileA(find.get(), &found));
  return names;
}

}  // namespace shell_checks
