// CPatchHelper: one patch run that brings the installed game from its version to the
// latest one the patch information names. Downloads go to the "patch" folder and are
// checked by MD5; replaced files are moved to "patch\old" first, so a failed move rolls
// everything back; the new version number is written only after every stage succeeded.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "launcher/core/limits.h"
#include "launcher/patch/patch_result.h"
#include "launcher/patch/transfer_index.h"

class CDownloadMgr;
class CKeptDownloads;
class CMoveJournalFile;
class CPatchInfo;
class CVersionInfo;
class IPanel;
struct DownloadProgress;

// Address texts of the dialog that runs the pipeline (read once from the string table).
struct PatchTexts {
  char portalPage[kMaxPath] = {};
  char memberPage[kMaxPath] = {};
  char noticePage[kMaxPath] = {};
  char patchInfoUrl[kMaxPath] = {};
};

// What the dialog (or the host-mode run) hands to CPatchHelper; nothing here is owned.
struct PatchContext {
  CPatchInfo* patchInfo = nullptr;
  const PatchTexts* texts = nullptr;
  const std::atomic<bool>* dialogStop = nullptr;  // the dialog's stop request; none in host mode
  IPanel* panel = nullptr;     // the dialog's panel, or the process-wide pipe panel
  std::atomic<bool> stop{false};  // stop request when there is no dialog
};

// The stop rule every stage of a run polls: the dialog's stop request, or without a dialog
// the context's own flag (set when the host sends "cancel").
bool IsStopRequested(const PatchContext& context);
// Where a run reports: the dialog's panel, or the process-wide pipe panel.
IPanel& PanelOf(const PatchContext& context);

struct PatchEntry {
  std::string name;
  std::uint64_t size = 0;
  unsigned char hash[16] = {};
  std::uint32_t updateVersion = 0;
};

// One transfer of the download stage: the manager it fetches with and the progress callback
// it reports to. With one connection and one server there is one, over the helper's manager.
struct FileTransfer {
  CDownloadMgr* mgr = nullptr;
  bool (*callback)(DownloadProgress* progress) = nullptr;
  void* context = nullptr;
  const std::atomic<bool>* halt = nullptr;  // set when the other transfers' run ends early
};

enum class FileOutcome { kDone, kStopped, kFailed };

class CPatchHelper {
 public:
  explicit CPatchHelper(PatchContext* context);
  virtual ~CPatchHelper();
  CPatchHelper(const CPatchHelper&) = delete;
  CPatchHelper& operator=(const CPatchHelper&) = delete;

  // Done: patched, or current already.
  PatchResult PatchMainProc();

  bool ConnectToPatchServer();
  bool RunPatchStages();
  bool BuildDownloadSet();
  bool DownloadFiles();
  bool MoveOldFiles();
  bool MoveNewFiles();
  bool BuildDeleteFiles();
  bool ValidatePatchFiles();
  bool RemoveDeletedFiles();
  bool Rollback();
  // After RunPatchStages: whether the temporary folder may go (no backup is still needed).
  bool SettleMoves();
  // The repair run: every file of the latest version is checked, only the broken ones are
  // fetched, through the same temporary folder, digest check, backup, moves and roll-back.
  // PatchRepaired or PatchIntact when it went through.
  PatchResult RepairMainProc();
  bool BuildRepairSet();
  static bool OnDownloadProgress(DownloadProgress* progress);

  bool IsStopped() const;
  IPanel& Panel() const;
  PatchContext* Context() const { return m_context; }
  CDownloadMgr* DownloadManager() const { return m_downloadMgr.get(); }

  // Used by the self-extracting mode, which fills the copy list from its archive.
  std::uint32_t CurrentVersion() const { return m_currentVersion; }
  std::uint32_t LatestVersion() const { return m_latestVersion; }
  void SetVersions(std::uint32_t current, std::uint32_t latest) {
    m_currentVersion = current;
    m_latestVersion = latest;
  }
  void AddToCopyList(const std::string& name, const std::string& tempPath) { m_copyList.emplace_back(name, tempPath); }
  // Stages after the files are in the temporary folder; in the self-extracting mode the
  // extraction replaces BuildDownloadSet and DownloadFiles.
  using FetchStage = bool (*)(CPatchHelper& helper);
  void SetFetchStage(FetchStage stage) { m_fetchStage = stage; }
  // Finishing text of a successful run (self-extracting mode: string 21).
  void SetDoneMessage(int stringId) { m_doneMessage = stringId; }
  // The server ConnectToPatchServer connects to (the development client has its own).
  void SetServerAddress(const char* address);

 private:
  friend class CTransferPool;
  void BeginStage(const char* text);
  bool RolledBackOnStop(std::size_t i, std::size_t n);
  bool HasRoomForTheRun() const;
  int WriteFailureMessage(int stringId, const std::string& path, std::uint64_t bytes) const;
  FileOutcome DownloadOne(const PatchEntry& entry, const char* localPath, const FileTransfer& transfer);
  FileOutcome FetchChecked(const PatchEntry& entry, const char* localPath, const FileTransfer& transfer);
  bool DownloadFilesOneByOne();
  // What the last stopped run kept (kept_downloads_win.cpp), compared with this run's
  // download set before the room check and the first download.
  void SettleKeptDownloads();
  void DropFormsOfKeptFiles();
  // Called while transfers run: small files that arrived meanwhile reach the record within
  // a second, even while one large file is all that still moves.
  void KeepRecordCurrent();
  // The temporary folder after a run whose moves are settled: a completed run, and one that
  // filled the disk, leave nothing; any other keeps its record and the files it names.
  void EndTemporaryFolder(bool completed);
  bool FetchFile(const FileTransfer& transfer, const char* remoteName, const char* localPath, bool resume);
  bool FetchWithRetry(const FileTransfer& transfer, const char* remoteName, const char* localPath, bool resume);
  bool Halted(const FileTransfer& transfer) const;
  // The one transfer of a run without several at once: the helper's own manager and progress.
  FileTransfer MainTransfer();
  bool LocalPathFor(const PatchEntry& entry, char (&local)[kMaxPath]);
  void KeepDownloaded(const PatchEntry& entry, const char* localPath);
  // Several transfers at once and further servers (parallel_download_win.cpp).
  bool UsesSeveralTransfers() const;
  bool DownloadFilesAtOnce();
  void RequestStop();
  bool BeginJournal();
  // The smaller forms of the download set's files (transfer_forms_win.cpp): the index is read
  // and each file's forms chosen before the first download; a file whose forms all fail is
  // downloaded raw by DownloadOne.
  // Both take the transfer they fetch with (several at once in the download stage with more
  // connections or servers).
  void PlanTransferForms();
  bool DownloadByForm(const PatchEntry& entry, const char* localPath, const FileTransfer& transfer);
  bool TryForm(const PatchEntry& entry, const TransferForm& form, const char* localPath, const FileTransfer& transfer);
  void LogTransferSavings() const;
  PatchResult OpenRun();
  PatchResult ReadyToFetch();
  bool ReadLatestManifest(CVersionInfo* manifest);
  PatchResult RunRepairStages();
  static bool OnCheckProgress(std::uint64_t done, const char* current, void* context);

  PatchContext* m_context;
  std::unique_ptr<CDownloadMgr> m_downloadMgr;
  std::uint32_t m_currentVersion = 0;
  std::uint32_t m_latestVersion = 0;
  char m_serverAddress[kMaxPath] = {};
  std::map<std::string, PatchEntry> m_allFiles;
  std::map<std::string, PatchEntry> m_downloadSet;
  std::vector<std::string> m_deleteList;
  std::atomic<std::uint64_t> m_totalSize{0};  // a failed form changes it from any transfer
  std::atomic<std::uint64_t> m_doneSize{0};
  std::vector<std::pair<std::string, std::string>> m_copyList;
  std::vector<std::pair<std::string, std::string>> m_backupList;
  std::vector<std::string> m_newFiles;
  // The moves of this run, for the next start should it be killed half way.
  std::unique_ptr<CMoveJournalFile> m_journal;
  bool m_undoFailed = false;  // a backup is not back in place: the temporary folder stays
  mutable bool m_diskFull = false;  // the run was told the disk is full
  std::unique_ptr<CKeptDownloads> m_kept;
  CTransferIndex m_transferIndex;
  std::map<std::string, std::vector<const TransferForm*>> m_formPlan;
  std::atomic<std::uint64_t> m_bytesSaved{0};
  FetchStage m_fetchStage = nullptr;
  int m_doneMessage = 0;
};
