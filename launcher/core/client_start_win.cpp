// Starting the game client, the installed launcher and the self-remover.
#include "launcher/core/windows_api.h"

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/process.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

namespace {

// Writes the whole resource into the file, replacing what is there.
bool WriteResourceFile(const char* path, const void* bytes, std::uint32_t size) {
  if (bytes == nullptr) return false;
  CFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
}

}  // namespace

bool CLauncherMgr::StartClient(const char* extraArgs, int version) {
  if (!m_initialized) return false;
  char devClient[kMaxPath];
  const bool dev = JoinPath("clientd.exe", devClient, m_gameDir) && FileExists(devClient);
  char path[kMaxPath];
  char line[kMaxShortCommandLine];
  if (!JoinPath(dev ? "clientd.exe" : "client.exe", path, m_gameDir)) {
    Log("CLauncherMgr::StartClient() : game directory too long.");
    return false;
  }
  if (!BuildClientCommandLine(path, dev, extraArgs, version, line, sizeof(line))) return false;
  return CProcess::CreateProcess(line, m_gameDir);
}

bool CLauncherMgr::StartLauncher() {
  if (!m_initialized) return false;
  char path[kMaxPath];
  char line[kMaxShortCommandLine];
  if (!JoinPath("Talvenor.exe", path, m_gameDir)) {
    Log("CLauncherMgr::StartLauncher() : game directory too long.");
    return false;
  }
  if (!BuildLauncherCommandLine(path, line, sizeof(line))) return false;
  return CProcess::CreateProcess(line, m_gameDir);
}

bool CLauncherMgr::StartSelfRemover() {
  if (!m_initialized) return false;
  char temp[kMaxPath];
  char remover[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof(temp), temp);
  std::uint32_t size = 0;
  const void* bytes = LoadBinResource(IDR_REMOVER, &size);
  if (n == 0 || n >= sizeof(temp) || GetTempFileNameA(temp, "talvremover", 0, remover) == 0) {
    Log("Fail to create selfremover.");
    return false;
  }
  if (!WriteResourceFile(remover, bytes, size)) {
    DeleteFileA(remover);  // the system created it empty; nothing should be left behind
    Log("Fail to create selfremover.");
    return false;
  }
  char module[kMaxPath];
  char line[kMaxShortCommandLine];
  if (GetModulePath(module) && FormatString(line, sizeof(line), "\"%s\" %s", remover, module)) {
    CProcess::CreateProcess(line, temp);
  } else {
    Log("CLauncherMgr::StartSelfRemover() : module path too long.");
  }
  DestroyMainWindow();
  return true;
}
