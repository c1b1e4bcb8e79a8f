#include "launcher/patch/patch_helper.h"

#include "launcher/core/windows_api.h"

#include <cstring>
#include <memory>

#include "build_settings.h"
#include "launcher/core/env_checks.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/exe_patch.h"
#include "launcher/patch/manifest_name.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/signed_document.h"
#include "launcher/patch/version_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/transfer/download_mgr.h"
#include "launcher/transfer/file_digest.h"
#include "launcher/ui/panel.h"
#include "launcher/ui/pipe_panel.h"

namespace {

constexpr std::uint32_t kRetryWaitMs = 1000;

bool FileIsThere(const std::string& path) { return FileExists(path.c_str()); }

std::string Join(const char* folder, const std::string& name) {
  char out[kMaxPath];
  return JoinPath(name.c_str(), out, folder) ? std::string(out) : std::string();
}

// Names of the files matching a pattern directly in a folder.
std::vector<std::string> FilesMatching(const std::string& folder, const char* pattern) {
  std::vector<std::string> names;
  const std::string wanted = Join(folder.c_str(), pattern);
  for (CDirectoryIterator entry(wanted.c_str()); entry.Next();) {
    if (!entry.IsFolder()) names.emplace_back(entry.Name());
  }
  return names;
}

int Percent(std::size_t i, std::size_t n) { return n == 0 ? 0 : static_cast<int>(i * 100 / n); }

}  // namespace

CPatchHelper::CPatchHelper(PatchContext* context) : m_context(context) {}

CPatchHelper::~CPatchHelper() = default;

void CPatchHelper::SetServerAddress(const char* address) { CopyString(m_serverAddress, address); }

bool IsStopRequested(const PatchContext& context) {
  if (context.dialogStop != nullptr) return context.dialogStop->load();
  return context.stop;
}

IPanel& PanelOf(const PatchContext& context) {
  return context.panel != nullptr ? *context.panel : GetPipePanel();
}

bool CPatchHelper::IsStopped() const { return m_context != nullptr && IsStopRequested(*m_context); }

void CPatchHelper::RequestStop() {
  if (m_context != nullptr) m_context->stop = true;
}

IPanel& CPatchHelper::Panel() const {
  return m_context != nullptr ? PanelOf(*m_context) : GetPipePanel();
}

// Every stage starts on the general panel with its text and the progress at 0.
void CPatchHelper::BeginStage(const char* text) {
  Panel().SetPanelType(PanelGeneral);
  Panel().SetText(text);
  Panel().SetProgress(0);
}

// Progress for move i of n. A stop between two moves undoes the moves made so far, so the
// game folder is never left half patched.
bool CPatchHelper::RolledBackOnStop(std::size_t i, std::size_t n) {
  Panel().SetProgress(Percent(i, n));
  if (!IsStopped()) return false;
  Rollback();
  return true;
}

// The opening a patch run and a repair run share: the service state, the login and client
// arguments, and the two versions. PatchDone to go on, else the result the run ends with.
PatchResult CPatchHelper::OpenRun() {
  if (m_context == nullptr || m_context->patchInfo == nullptr || m_context->texts == nullptr) {
    Panel().SetText("Failed to initialize.");
    return PatchFailed;
  }
  CPatchInfo& info = *m_context->patchInfo;
  Panel().SetPanelType(PanelGeneral);
  Panel().SetText("Collect file information...");
  g_launcher.LogDirectoryListing(g_launcher.m_gameDir, true);
  if (IsStopped()) return PatchStopped;
  if (info.blocked) {
    g_launcher.ShowMessage(0, IDS_MAINTENANCE, kMessageInfo);
    return PatchPlayRefused;
  }
  g_launcher.SetLoginAddress(info.login);
  g_launcher.SetClientArgs(info.arg);

  m_latestVersion = static_cast<std::uint32_t>(info.patch_version);
  g_launcher.Log("Latest patch version : %d", info.patch_version);
  m_currentVersion = static_cast<std::uint32_t>(g_launcher.ReadClientVersion());
  g_launcher.Log("Current client version : %d", static_cast<int>(m_currentVersion));
  CopyString(m_serverAddress, info.ftp);
  Panel().SetGameVersion(static_cast<int>(m_currentVersion));
  return PatchDone;
}

// Before any file is fetched: no client running, an empty temporary folder, the file server.
// PatchDone to go on, else the result the run ends with.
PatchResult CPatchHelper::ReadyToFetch() {
  if (IsOtherGameRunning()) {
    g_launcher.ShowMessage(0, IDS_CLIENT_RUNNING, kMessageInfo);
    return PatchFailed;
  }
  Panel().SetText("Remove patch temp folder...");
  if (!CFile::RemoveDirectory(g_launcher.m_patchDir, false)) {
    g_launcher.ShowRunError();
    return PatchFailed;
  }
  if (!ConnectToPatchServer()) return PatchFailed;
  return IsStopped() ? PatchStopped : PatchDone;
}

PatchResult CPatchHelper::PatchMainProc() {
  const PatchResult opened = OpenRun();
  if (opened != PatchDone) return opened;
  if (m_currentVersion > m_latestVersion + 1) {
    g_launcher.ShowMessage(0, IDS_LAUNCHER_REPLACED, kMessageInfo);
    g_launcher.OpenWebPage(TALV_EVENT_URL);
    g_launcher.Log("Please reinstall.");
    return PatchPlayRefused;
  }

  bool patched = false;
  if (m_currentVersion < m_latestVersion || g_launcher.m_forcePatch) {
    const PatchResult ready = ReadyToFetch();
    if (ready != PatchDone) return ready;
    if (!g_launcher.m_installRequested) {
      CreateDirectories(g_launcher.m_patchDir, true);
      g_launcher.WriteReadme(g_launcher.m_patchDir);
    }
    const bool staged = RunPatchStages();
    CFile::RemoveDirectory(g_launcher.m_patchDir, false);
    Panel().SetText("Collect file information...");
    g_launcher.LogDirectoryListing(g_launcher.m_gameDir, true);
    g_launcher.CopyLog(m_currentVersion, m_latestVersion);
    m_currentVersion = m_latestVersion;
    if (!staged) return PatchFailed;
    patched = true;
  }

  if (g_launcher.m_devFtp[0] != '\0' &&
      (patched || !FileIsThere(Join(g_launcher.m_gameDir, "clientd.exe")))) {
    CreateDirectories(g_launcher.m_patchDir, true);
    FetchDevClient(g_launcher.m_devFtp, *this);
    CFile::RemoveDirectory(g_launcher.m_patchDir, false);
  }
  return IsStopped() ? PatchStopped : PatchDone;
}

bool CPatchHelper::ConnectToPatchServer() {
  if (IsStopped()) return true;
  Panel().SetText("Connect to patch server...");
  m_downloadMgr.reset();
  ServerAddress address;
  m_downloadMgr.reset(CDownloadMgr::CreateDownloadMgr(m_serverAddress, &address));
  if (!m_downloadMgr) {
    g_launcher.ShowRunError();
    g_launcher.Log("Fail to CreateDownloadMgr");
    return false;
  }
  const auto stopped = [](void* self) { return static_cast<CPatchHelper*>(self)->IsStopped(); };
  if (ConnectWithRetries(*m_downloadMgr, address, stopped, this) != ConnectResult::Failed) return true;
  g_launcher.ShowMessage(0, IDS_FTP_CONNECT_FAILED, kMessageInfo);
  m_downloadMgr.reset();
  g_launcher.Log("Fail to Connect to patch server..");
  return false;
}

bool CPatchHelper::RunPatchStages() {
  if (m_fetchStage != nullptr) {
    if (!m_fetchStage(*this)) return false;
  } else if (!BuildDownloadSet() || !DownloadFiles()) {
    return false;
  }
  if (!g_launcher.m_installRequested) {
    char backup[kMaxPath];
    JoinPath("old", backup, g_launcher.m_patchDir);
    CreateDirectories(backup, false);
    if (!MoveOldFiles() || !MoveNewFiles()) return false;
  }
  if (!BuildDeleteFiles() || !ValidatePatchFiles() || !RemoveDeletedFiles()) return false;
  g_launcher.SaveInstalledFiles();
  if (IsStopped()) {
    if (g_launcher.m_installRequested) g_launcher.DeleteInstalledFiles();
    g_launcher.ShowMessage(0, IDS_UPDATE_STOPPED, kMessageInfo);
    return true;
  }
  if (!g_launcher.WriteClientVersion(static_cast<int>(m_latestVersion))) {
    g_launcher.ShowMessage(0, IDS_FILE_IN_USE, kMessageInfo);
    return false;
  }
  Panel().SetGameVersion(static_cast<int>(m_latestVersion));
  Panel().SetPanelType(PanelNone);
  if (m_doneMessage != 0) g_launcher.ShowMessage(0, m_doneMessage, kMessageInfo);
  return true;
}

// version.txt of the patch file server, signed when the launcher has a key. A name that
// would leave the game directory refuses the whole manifest before anything is downloaded,
// moved or deleted.
bool CPatchHelper::ReadLatestManifest(CVersionInfo* manifest) {
  if (m_downloadMgr == nullptr) return false;
  std::unique_ptr<char[]> block;
  std::uint32_t size = 0;
  switch (GetSignedFileIntoMemory("version.txt", m_downloadMgr.get(), &block, &size)) {
    case DocumentFetch::kFetched:
      break;
    case DocumentFetch::kNotFetched:
      g_launcher.Log("Fail to GetFileIntoMemory : \"version.txt\"");
      return false;
    case DocumentFetch::kRefused:
      return false;
  }
  if (!manifest->ReadFromBlock(block.get(), size)) {
    g_launcher.Log("Fail to ReadFromMemory");
    return false;
  }
  for (std::uint32_t i = 0; i < manifest->GetCount(); ++i) {
    if (!IsSafeManifestName(manifest->GetName(i))) {
      g_launcher.Log("BuildDownloadSet() : refused entry outside the game directory : \"%s\"", manifest->GetName(i));
      return false;
    }
  }
  return true;
}

bool CPatchHelper::BuildDownloadSet() {
  if (IsStopped()) return true;
  CVersionInfo manifest;
  if (!ReadLatestManifest(&manifest)) return false;
  for (std::uint32_t i = 0; i < manifest.GetCount(); ++i) {
    PatchEntry entry;
    entry.name = manifest.GetName(i);
    entry.size = manifest.GetSize(i);
    if (const unsigned char* hash = manifest.GetHash(i)) std::memcpy(entry.hash, hash, sizeof(entry.hash));
    entry.updateVersion = static_cast<std::uint32_t>(manifest.GetUpdateVersion(i));
    m_allFiles.emplace(entry.name, entry);
    if (entry.updateVersion <= m_currentVersion) continue;
    if (entry.size > 0) {
      if (!m_downloadSet.emplace(entry.name, entry).second) {
        g_launcher.Log("Fail to insert download set : %s", entry.name.c_str());
        return false;
      }
      m_totalSize += entry.size;
    } else if (FileIsThere(Join(g_launcher.m_gameDir, entry.name))) {
      m_deleteList.push_back(entry.name);
    }
  }
  return true;
}

bool CPatchHelper::FetchFile(const char* remoteName, const char* localPath, bool resume) {
  return GetFile(&CPatchHelper::OnDownloadProgress, resume, m_downloadMgr.get(), remoteName, localPath, this);
}

// One download with retries: a transfer that fails is tried once more from the start
// (after a resumed attempt), a digest that differs is downloaded again; at most 4 cycles.
bool CPatchHelper::DownloadOne(const PatchEntry& entry, const char* localPath) {
  char remote[kMaxPath];
  FormatString(remote, sizeof(remote), "Talvenor/%s", entry.name.c_str());
  int retries = 3;
  while (!IsStopped()) {
    const std::uint64_t doneBefore = m_doneSize;
    bool fetched = FetchFile(remote, localPath, m_downloadMgr->IsRestartSupported());
    if (!fetched && m_downloadMgr->IsRestartSupported()) {
      Sleep(kRetryWaitMs);
      g_launcher.Log("Retry Downloading file : %s", remote);
      fetched = FetchFile(remote, localPath, false);
    }
    if (!fetched) g_launcher.Log("Fail to GetFile : %s", remote);
    if (fetched) {
      if (CheckHashCode(localPath, entry.hash)) {
        m_doneSize += entry.size;
        return true;
      }
      if (IsStopped()) return true;
      Sleep(kRetryWaitMs);
      g_launcher.Log("Retry Downloading file : %s", entry.name.c_str());
      if (!FetchFile(remote, localPath, false) && !FetchFile(remote, localPath, false)) {
        g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
        return false;
      }
    }
    if (IsStopped()) return true;
    if (CheckHashCode(localPath, entry.hash)) {
      m_doneSize += entry.size;
      return true;
    }
    g_launcher.Log("Downloaded file \"%s\" is currupted.", localPath);
    m_doneSize = doneBefore;
    if (retries == 0) {
      g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
      return false;
    }
    --retries;
    Sleep(kRetryWaitMs);
  }
  return true;
}

bool CPatchHelper::DownloadFiles() {
  if (IsStopped()) return true;
  Panel().SetProgress(0);
  Panel().SetPanelType(PanelDownload);
  const std::size_t n = m_downloadSet.size();
  std::size_t i = 0;
  for (const auto& item : m_downloadSet) {
    const PatchEntry& entry = item.second;
    Panel().SetProgress(Percent(i++, n));
    Panel().SetSize(m_doneSize, m_totalSize);
    Panel().SetText(entry.name.c_str());
    g_launcher.Log("Downloading file : %s", entry.name.c_str());
    char local[kMaxPath];
    const char* folder = g_launcher.m_installRequested ? g_launcher.m_gameDir : g_launcher.m_patchDir;
    if (!JoinPath(entry.name.c_str(), local, folder)) {
      g_launcher.Log("Fail to GetFile : %s", entry.name.c_str());
      g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
      return false;
    }
    char parent[kMaxPath];
    CreateDirectories(GetParentDir(parent, local), false);
    if (!DownloadOne(entry, local)) return false;
    if (g_launcher.m_installRequested) {
      g_launcher.AddInstalledFile(local);
    } else {
      m_copyList.emplace_back(entry.name, local);
    }
  }
  Panel().SetProgress(100);
  return true;
}

bool CPatchHelper::OnDownloadProgress(DownloadProgress* progress) {
  auto* self = static_cast<CPatchHelper*>(progress->context);
  if (self->IsStopped()) return false;
  if (!ProcessPipeCommands()) {
    self->RequestStop();
    return false;
  }
  const std::uint64_t done = self->m_doneSize + progress->transferred;
  IPanel& panel = self->Panel();
  panel.SetProgress(static_cast<int>((done / 10) / (self->m_totalSize / 1000 + 1)));
  panel.SetSize(done, self->m_totalSize);
  panel.SetSpeed(static_cast<std::uint32_t>(progress->lastRead), progress->readStartTick);
  return true;
}

bool CPatchHelper::MoveOldFiles() {
  if (IsStopped()) return true;
  BeginStage("Make backup files...");
  char backupFolder[kMaxPath];
  JoinPath("old", backupFolder, g_launcher.m_patchDir);
  const std::size_t n = m_copyList.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (RolledBackOnStop(i, n)) return true;
    const std::string& name = m_copyList[i].first;
    const std::string gamePath = Join(g_launcher.m_gameDir, name);
    const std::string backupPath = Join(backupFolder, name);
    if (!FileIsThere(gamePath)) continue;
    if (FileIsThere(backupPath)) {
      g_launcher.Log("MoveOldFiles : \"%s\" should not exist.", backupPath.c_str());
      DeleteFileA(backupPath.c_str());
    }
    if (!SafeMoveFile(backupPath.c_str(), gamePath.c_str()) && !SafeMoveFile(backupPath.c_str(), gamePath.c_str())) {
      g_launcher.ShowMessage(0, IDS_DOWNLOAD_COPY_FAILED, kMessageInfo);
      Rollback();
      g_launcher.Log("MoveOldFiles - Fail to SafeMoveFile %s, %s", gamePath.c_str(), backupPath.c_str());
      return false;
    }
    m_backupList.emplace_back(gamePath, backupPath);
  }
  Panel().SetProgress(100);
  return true;
}

bool CPatchHelper::MoveNewFiles() {
  if (IsStopped()) return true;
  BeginStage("Copy patch files...");
  const std::size_t n = m_copyList.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (RolledBackOnStop(i, n)) return true;
    const std::string gamePath = Join(g_launcher.m_gameDir, m_copyList[i].first);
    if (FileIsThere(gamePath)) {
      g_launcher.Log("MoveNewFiles : \"%s\" should not exist.", gamePath.c_str());
      g_launcher.ShowMessage(0, IDS_DOWNLOAD_COPY_FAILED, kMessageInfo);
      Rollback();
      return false;
    }
    if (!SafeMoveFile(gamePath.c_str(), m_copyList[i].second.c_str())) {
      Rollback();
      g_launcher.ShowMessage(0, IDS_DOWNLOAD_COPY_FAILED, kMessageInfo);
      return false;
    }
    m_newFiles.push_back(gamePath);
    g_launcher.AddInstalledFile(gamePath.c_str());
  }
  Panel().SetProgress(100);
  return true;
}

bool CPatchHelper::Rollback() {
  BeginStage("Rollback files...");
  for (const std::string& path : m_newFiles) {
    g_launcher.Log("Rollback : delete \"%s\"...", path.c_str());
    DeleteFileA(path.c_str());
  }
  for (const auto& moved : m_backupList) {
    g_launcher.Log("Rollback : move \"%s\" to \"%s\"...", moved.second.c_str(), moved.first.c_str());
    SafeMoveFile(moved.first.c_str(), moved.second.c_str());
  }
  // Undone moves are forgotten: a second roll-back would delete the restored originals.
  m_newFiles.clear();
  m_backupList.clear();
  return true;
}

bool CPatchHelper::BuildDeleteFiles() {
  if (IsStopped()) return true;
  BeginStage("Build delete files...");
  const std::string package = Join(g_launcher.m_gameDir, "package");
  for (const std::string& file : FilesMatching(package, "*.pack")) m_deleteList.push_back(Join("package", file));
  BeginStage("Build delete files...");
  for (const std::string& file : FilesMatching(g_launcher.m_gameDir, "ren*.tmp")) m_deleteList.push_back(file);
  Panel().SetProgress(100);
  return true;
}

bool CPatchHelper::ValidatePatchFiles() {
  if (IsStopped()) return true;
  BeginStage("Validate patch files...");
  const std::size_t n = m_allFiles.size();
  std::size_t i = 0;
  for (const auto& item : m_allFiles) {
    Panel().SetProgress(Percent(i++, n));
    const PatchEntry& entry = item.second;
    const std::string path = Join(g_launcher.m_gameDir, entry.name);
    if (entry.size != 0) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        g_launcher.Log("Fail to get file size. : %s", entry.name.c_str());
        continue;
      }
      const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      if (size != entry.size) g_launcher.Log("Found a wrong size file. : %s", entry.name.c_str());
    } else if (FileIsThere(path)) {
      g_launcher.Log("Found a file that should have been deleted. : %s", entry.name.c_str());
      m_deleteList.push_back(entry.name);
    }
  }
  Panel().SetProgress(100);
  return true;
}

bool CPatchHelper::RemoveDeletedFiles() {
  if (IsStopped()) return true;
  BeginStage("Remove deleted patch files...");
  const std::size_t n = m_deleteList.size();
  for (std::size_t i = 0; i < n; ++i) {
    Panel().SetProgress(Percent(i, n));
    const std::string path = Join(g_launcher.m_gameDir, m_deleteList[i]);
    if (!FileIsThere(path)) continue;
    g_launcher.Log("Remove file : \"%s\"...", path.c_str());
    SafeDeleteFile(path.c_str());
  }
  Panel().SetProgress(100);
  return true;
}
