#include "launcher/patch/patch_helper.h"

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "build_settings.h"
#include "launcher/core/change_hook.h"
#include "launcher/core/env_checks.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/exe_patch.h"
#include "launcher/patch/kept_downloads.h"
#include "launcher/patch/manifest_name.h"
#include "launcher/patch/move_journal_file.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/signed_document.h"
#include "launcher/patch/transfer_forms.h"
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

CPatchHelper::CPatchHelper(PatchContext* context)
    : m_context(context), m_journal(std::make_unique<CMoveJournalFile>()), m_kept(std::make_unique<CKeptDownloads>()) {}

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

// Before any file is fetched: no client running, a temporary folder that holds at most what
// the last stopped run kept for this one, the file server. PatchDone to go on, else the
// result the run ends with.
PatchResult CPatchHelper::ReadyToFetch() {
  if (IsOtherGameRunning()) {
    g_launcher.ShowMessage(0, IDS_CLIENT_RUNNING, kMessageInfo);
    return PatchFailed;
  }
  Panel().SetText("Remove patch temp folder...");
  if (!CleanTemporaryFolderKeepingDownloads()) {
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
      NoteFileChange();
      CreateDirectories(g_launcher.m_patchDir, false);  // emptied but for the kept downloads
      NoteFileChange();
      g_launcher.WriteReadme(g_launcher.m_patchDir);
    }
    const bool staged = RunPatchStages();
    if (SettleMoves()) EndTemporaryFolder(staged && !IsStopped());
    Panel().SetText("Collect file information...");
    g_launcher.LogDirectoryListing(g_launcher.m_gameDir, true);
    g_launcher.CopyLog(m_currentVersion, m_latestVersion);
    m_currentVersion = m_latestVersion;
    if (!staged) return PatchFailed;
    patched = true;
  } else if (FileExists(g_launcher.m_patchDir)) {
    // A game at the latest version has no use for what a stopped run kept.
    CFile::RemoveDirectory(g_launcher.m_patchDir, false);
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
    if (!BeginJournal() || !MoveOldFiles() || !MoveNewFiles()) return false;
  }
  if (!BuildDeleteFiles() || !ValidatePatchFiles() || !RemoveDeletedFiles()) return false;
  g_launcher.SaveInstalledFiles();
  if (IsStopped()) {
    // Stopped after its moves the run ends as it stands; a stop that rolled back and could
    // not finish keeps its journal for the next start.
    if (!m_undoFailed) m_journal->Close();
    if (g_launcher.m_installRequested) g_launcher.DeleteInstalledFiles();
    g_launcher.ShowMessage(0, IDS_UPDATE_STOPPED, kMessageInfo);
    return true;
  }
  if (!g_launcher.WriteClientVersion(static_cast<int>(m_latestVersion))) {
    g_launcher.ShowMessage(0, IDS_FILE_IN_USE, kMessageInfo);
    return false;
  }
  m_journal->Commit();
  Panel().SetGameVersion(static_cast<int>(m_latestVersion));
  Panel().SetPanelType(PanelNone);
  if (m_doneMessage != 0) g_launcher.ShowMessage(0, m_doneMessage, kMessageInfo);
  return true;
}

// A run that failed after its moves without undoing them (the version could not be written)
// is undone now. False when a backup is not back in place: the temporary folder then stays,
// with the journal and the backups, for the next start.
bool CPatchHelper::SettleMoves() {
  if (m_journal->Pending() && !m_undoFailed) {
    BeginStage("Rollback files...");
    m_undoFailed = !m_journal->Undo();
  }
  return !m_undoFailed;
}

// The journal exists before the first move; a run that cannot keep one moves nothing.
bool CPatchHelper::BeginJournal() {
  if (IsStopped()) return true;
  if (m_journal->Begin(m_currentVersion, m_latestVersion)) return true;
  g_launcher.ShowMessage(0, IDS_DOWNLOAD_COPY_FAILED, kMessageInfo);
  return false;
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

bool CPatchHelper::FetchFile(const FileTransfer& transfer, const char* remoteName, const char* localPath,
                             bool resume) {
  NoteFileChange();
  return GetFile(transfer.callback, resume, transfer.mgr, remoteName, localPath, transfer.context);
}

// One transfer of a file: a failed one is tried once more from the start when the manager
// can resume (the first try may have resumed a broken file).
bool CPatchHelper::FetchWithRetry(const FileTransfer& transfer, const char* remoteName, const char* localPath,
                                  bool resume) {
  bool fetched = FetchFile(transfer, remoteName, localPath, resume);
  // A stalled server is not waited for again: the next server may have the file.
  if (!fetched && !Halted(transfer) && !transfer.mgr->Stalled() && transfer.mgr->IsRestartSupported()) {
    Sleep(kRetryWaitMs);
    g_launcher.Log("Retry Downloading file : %s", remoteName);
    fetched = FetchFile(transfer, remoteName, localPath, false);
  }
  if (!fetched) g_launcher.Log("Fail to GetFile : %s", remoteName);
  return fetched;
}

bool CPatchHelper::Halted(const FileTransfer& transfer) const {
  return IsStopped() || (transfer.halt != nullptr && transfer.halt->load());
}

FileTransfer CPatchHelper::MainTransfer() {
  return FileTransfer{m_downloadMgr.get(), &CPatchHelper::OnDownloadProgress, this, nullptr};
}

// One download of either path: a file the last run kept whole is done already; any other is
// named in the record while it arrives (a kept partial one resumes from its length, as the
// manager resumes any file there) and once it arrived whole.
FileOutcome CPatchHelper::DownloadOne(const PatchEntry& entry, const char* localPath, const FileTransfer& transfer) {
  if (m_kept->Reused(entry.name)) return FileOutcome::kDone;
  m_kept->Started(entry);
  const FileOutcome outcome = FetchChecked(entry, localPath, transfer);
  if (outcome == FileOutcome::kDone) m_kept->Completed(entry);
  return outcome;
}

// One download with retries: a digest that differs is downloaded again from the start; at
// most 4 cycles. The caller counts a done file and tells the player of a failed one.
FileOutcome CPatchHelper::FetchChecked(const PatchEntry& entry, const char* localPath, const FileTransfer& transfer) {
  char remote[kMaxPath];
  FormatString(remote, sizeof(remote), "Talvenor/%s", entry.name.c_str());
  CDownloadMgr* mgr = transfer.mgr;
  int retries = 3;
  while (!Halted(transfer)) {
    if (FetchWithRetry(transfer, remote, localPath, mgr->IsRestartSupported())) {
      if (CheckHashCode(localPath, entry.hash)) return FileOutcome::kDone;
      if (Halted(transfer)) return FileOutcome::kStopped;
      Sleep(kRetryWaitMs);
      g_launcher.Log("Retry Downloading file : %s", entry.name.c_str());
      if (!FetchWithRetry(transfer, remote, localPath, false)) return FileOutcome::kFailed;
    }
    if (Halted(transfer)) return FileOutcome::kStopped;
    if (mgr->Stalled()) return FileOutcome::kFailed;
    if (CheckHashCode(localPath, entry.hash)) return FileOutcome::kDone;
    g_launcher.Log("Downloaded file \"%s\" is currupted.", localPath);
    if (retries == 0) return FileOutcome::kFailed;
    --retries;
    Sleep(kRetryWaitMs);
  }
  return FileOutcome::kStopped;
}

// Where a download goes: the temporary folder, or the game directory in "/install" mode;
// its folders are made first. False (told to the player) for a path that does not fit.
bool CPatchHelper::LocalPathFor(const PatchEntry& entry, char (&local)[kMaxPath]) {
  const char* folder = g_launcher.m_installRequested ? g_launcher.m_gameDir : g_launcher.m_patchDir;
  if (!JoinPath(entry.name.c_str(), local, folder)) {
    g_launcher.Log("Fail to GetFile : %s", entry.name.c_str());
    g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
    return false;
  }
  char parent[kMaxPath];
  CreateDirectories(GetParentDir(parent, local), false);
  return true;
}

// The message of a failed write: string 73 when the game's disk has less room left than the
// write needed (a full disk), else the given one.
int CPatchHelper::WriteFailureMessage(int stringId, const std::string& path, std::uint64_t bytes) const {
  ULARGE_INTEGER freeBytes = {};
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (bytes == 0 && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    bytes = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  const bool full = GetDiskFreeSpaceExA(g_launcher.m_gameDir, &freeBytes, nullptr, nullptr) && freeBytes.QuadPart < bytes;
  if (full) m_diskFull = true;
  return full ? IDS_DISK_FULL : stringId;
}

// Before anything is fetched: the game folder's volume must hold every download and, while
// a file is moved (a copy, then the source deleted), one more copy of the largest one.
bool CPatchHelper::HasRoomForTheRun() const {
  std::uint64_t largest = 0;
  for (const auto& item : m_downloadSet) {
    largest = std::max(largest, item.second.size);
    WIN32_FILE_ATTRIBUTE_DATA replaced;  // the old file is moved aside the same way
    if (GetFileAttributesExA(Join(g_launcher.m_gameDir, item.first).c_str(), GetFileExInfoStandard, &replaced)) {
      largest = std::max(largest, (static_cast<std::uint64_t>(replaced.nFileSizeHigh) << 32) | replaced.nFileSizeLow);
    }
  }
  // What the last run kept is on the disk already.
  const std::uint64_t total = m_totalSize;
  const std::uint64_t toFetch = total - std::min(total, m_kept->BytesKept());
  const std::uint64_t needed = toFetch + (g_launcher.m_installRequested ? 0 : largest);
  ULARGE_INTEGER freeBytes = {};
  if (!GetDiskFreeSpaceExA(g_launcher.m_gameDir, &freeBytes, nullptr, nullptr)) return true;  // unknown: let the writes tell
  if (freeBytes.QuadPart >= needed) return true;
  g_launcher.Log("DownloadFiles() : %llu bytes free on the game's disk, %llu needed.",
                 static_cast<unsigned long long>(freeBytes.QuadPart), static_cast<unsigned long long>(needed));
  return false;
}

void CPatchHelper::KeepDownloaded(const PatchEntry& entry, const char* localPath) {
  if (g_launcher.m_installRequested) {
    g_launcher.AddInstalledFile(localPath);
  } else {
    m_copyList.emplace_back(entry.name, localPath);
  }
}

void CPatchHelper::SettleKeptDownloads() {
  if (g_launcher.m_installRequested) return;  // downloads go straight into the game: nothing to keep
  // FTP fetches a partial file whole, as always; HTTP asks for the rest.
  m_kept->Settle(m_downloadSet, m_downloadMgr != nullptr && m_downloadMgr->IsRestartSupported());
}

// A kept file goes on as the raw file it is: a smaller form would start it again.
void CPatchHelper::DropFormsOfKeptFiles() {
  for (auto it = m_formPlan.begin(); it != m_formPlan.end();) {
    const auto entry = m_downloadSet.find(it->first);
    if (entry == m_downloadSet.end() || (!m_kept->Reused(it->first) && !m_kept->Resumed(it->first))) {
      ++it;
      continue;
    }
    m_totalSize = m_totalSize - WireSize(it->second, entry->second.size) + entry->second.size;
    it = m_formPlan.erase(it);
  }
}

void CPatchHelper::KeepRecordCurrent() { m_kept->FlushIfDue(); }

void CPatchHelper::EndTemporaryFolder(bool completed) {
  if (completed || m_diskFull || g_launcher.m_installRequested) {
    CFile::RemoveDirectory(g_launcher.m_patchDir, false);
  } else {
    CleanTemporaryFolderKeepingDownloads();
  }
}

bool CPatchHelper::DownloadFiles() {
  if (IsStopped()) return true;
  SettleKeptDownloads();
  if (!HasRoomForTheRun()) {
    m_diskFull = true;
    g_launcher.ShowMessage(0, IDS_DISK_FULL, kMessageInfo);
    return false;
  }
  const bool fetched = UsesSeveralTransfers() ? DownloadFilesAtOnce() : DownloadFilesOneByOne();
  m_kept->Flush();
  return fetched;
}

bool CPatchHelper::DownloadFilesOneByOne() {
  Panel().SetProgress(0);
  Panel().SetPanelType(PanelDownload);
  PlanTransferForms();
  DropFormsOfKeptFiles();
  const FileTransfer transfer = MainTransfer();
  const std::size_t n = m_downloadSet.size();
  std::size_t i = 0;
  for (const auto& item : m_downloadSet) {
    const PatchEntry& entry = item.second;
    Panel().SetProgress(Percent(i++, n));
    Panel().SetSize(m_doneSize, m_totalSize);
    Panel().SetText(entry.name.c_str());
    g_launcher.Log("Downloading file : %s", entry.name.c_str());
    char local[kMaxPath];
    if (!LocalPathFor(entry, local)) return false;
    if (!DownloadByForm(entry, local, transfer)) {
      switch (DownloadOne(entry, local, transfer)) {
        case FileOutcome::kDone:
          m_doneSize += entry.size;
          break;
        case FileOutcome::kStopped:
          break;
        case FileOutcome::kFailed:
          g_launcher.ShowMessage(0, WriteFailureMessage(IDS_SERVER_UNREACHABLE, local, entry.size), kMessageInfo);
          return false;
      }
    }
    KeepDownloaded(entry, local);
  }
  LogTransferSavings();
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
  self->KeepRecordCurrent();
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
    if (!m_journal->NoteBackup(gamePath, backupPath) ||
        (!SafeMoveFile(backupPath.c_str(), gamePath.c_str()) && !SafeMoveFile(backupPath.c_str(), gamePath.c_str()))) {
      g_launcher.ShowMessage(0, WriteFailureMessage(IDS_DOWNLOAD_COPY_FAILED, gamePath, 0), kMessageInfo);
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
    if (!m_journal->NoteNew(gamePath) || !SafeMoveFile(gamePath.c_str(), m_copyList[i].second.c_str())) {
      const int message = WriteFailureMessage(IDS_DOWNLOAD_COPY_FAILED, m_copyList[i].second, 0);  // before the undo frees room
      Rollback();
      g_launcher.ShowMessage(0, message, kMessageInfo);
      return false;
    }
    m_newFiles.push_back(gamePath);
    g_launcher.AddInstalledFile(gamePath.c_str());
  }
  Panel().SetProgress(100);
  return true;
}

// Undoes the journal's moves newest first: files moved in are deleted, backups moved back.
// A step that cannot be done leaves the journal and the backups for the next start.
bool CPatchHelper::Rollback() {
  BeginStage("Rollback files...");
  if (m_journal->Pending() && !m_undoFailed) m_undoFailed = !m_journal->Undo();
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
  char removedFolder[kMaxPath];
  JoinPath("removed", removedFolder, g_launcher.m_patchDir);
  const std::size_t n = m_deleteList.size();
  for (std::size_t i = 0; i < n; ++i) {
    Panel().SetProgress(Percent(i, n));
    const std::string path = Join(g_launcher.m_gameDir, m_deleteList[i]);
    if (!FileIsThere(path)) continue;
    g_launcher.Log("Remove file : \"%s\"...", path.c_str());
    // Within a journaled run a removed file waits beside the backups until the new version
    // is written, so that an interrupted run can still put it back.
    if (m_journal->Pending()) {
      const std::string aside = Join(removedFolder, m_deleteList[i]);
      if (!FileIsThere(aside) && m_journal->NoteBackup(path, aside) && SafeMoveFile(aside.c_str(), path.c_str())) {
        continue;
      }
    }
    SafeDeleteFile(path.c_str());
  }
  Panel().SetProgress(100);
  return true;
}
