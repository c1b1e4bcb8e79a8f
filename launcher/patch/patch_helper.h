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

class CDownloadMgr;
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
  void BeginStage(const char* text);
  bool RolledBackOnStop(std::size_t i, std::size_t n);
  bool DownloadOne(const PatchEntry& entry, const char* localPath);
  bool FetchFile(const char* remoteName, const char* localPath, bool resume);
  void RequestStop();
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
  std::uint64_t m_totalSize = 0;
  std::uint64_t m_doneSize = 0;
  std::vector<std::pair<std::string, std::string>> m_copyList;
  std::vector<std::pair<std::string, std::string>> m_backupList;
  std::vector<std::string> m_newFiles;
  FetchStage m_fetchStage = nullptr;
  int m_doneMessage = 0;
};
