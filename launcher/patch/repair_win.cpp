// The repair run of CPatchHelper: the latest version's manifest against the game folder.
// It shares the patch run's download, backup, move and roll-back stages, so a broken file
// is replaced exactly as a patched one would be; only the planning differs.
#include "launcher/core/windows_api.h"

#include <cstring>
#include <string>
#include <vector>

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/safe_file.h"
#include "launcher/patch/move_journal_file.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/patch/repair_plan.h"
#include "launcher/patch/version_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/transfer/parallel_digest.h"
#include "launcher/ui/panel.h"
#include "launcher/ui/pipe_panel.h"

namespace {

std::string GamePath(const std::string& name) {
  char out[kMaxPath];
  return JoinPath(name.c_str(), out, g_launcher.m_gameDir) ? std::string(out) : std::string();
}

ObservedFile Observe(const std::string& path) {
  ObservedFile seen;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return seen;
  // A folder in a file's place is as good as no file: the download puts the file there.
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return seen;
  seen.present = true;
  seen.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return seen;
}

struct CheckReport {
  CPatchHelper* helper;
  std::uint64_t total;
  std::size_t prefix;  // length of the game folder part of a checked path
  std::string shown;   // the file name the panel shows
};

}  // namespace

bool CPatchHelper::OnCheckProgress(std::uint64_t done, const char* current, void* context) {
  CheckReport& report = *static_cast<CheckReport*>(context);
  CPatchHelper& self = *report.helper;
  if (self.IsStopped()) return false;
  if (!ProcessPipeCommands()) {
    self.RequestStop();
    return false;
  }
  IPanel& panel = self.Panel();
  panel.SetProgress(static_cast<int>((done / 10) / (report.total / 1000 + 1)));
  panel.SetSize(done, report.total);
  const char* name = std::strlen(current) > report.prefix ? current + report.prefix : current;
  if (report.shown != name) {
    report.shown = name;
    panel.SetText(name);
  }
  return true;
}

bool CPatchHelper::BuildRepairSet() {
  if (IsStopped()) return true;
  CVersionInfo manifest;
  if (!ReadLatestManifest(&manifest)) return false;
  std::vector<RepairEntry> listed;
  for (std::uint32_t i = 0; i < manifest.GetCount(); ++i) {
    RepairEntry entry;
    entry.name = manifest.GetName(i);
    entry.size = manifest.GetSize(i);
    if (const unsigned char* hash = manifest.GetHash(i)) std::memcpy(entry.hash, hash, sizeof(entry.hash));
    listed.push_back(entry);
  }
  const std::vector<RepairEntry> entries = UniqueRepairEntries(listed);

  BeginStage("Check game files...");
  std::vector<ObservedFile> observed;
  for (const RepairEntry& entry : entries) observed.push_back(Observe(GamePath(entry.name)));
  RepairPlan plan = PlanBySize(entries, observed);
  for (std::size_t i : plan.broken) {
    g_launcher.Log(observed[i].present ? "Repair : wrong size file : %s" : "Repair : missing file : %s",
                   entries[i].name.c_str());
  }

  std::vector<DigestJob> jobs;
  for (std::size_t i : plan.toHash) jobs.push_back(DigestJob{GamePath(entries[i].name), entries[i].size});
  Panel().SetPanelType(PanelExtract);
  Panel().SetText("Check game files...");
  const std::size_t folder = std::strlen(g_launcher.m_gameDir);
  const bool separated = folder > 0 && std::strchr("\\/", g_launcher.m_gameDir[folder - 1]) != nullptr;
  CheckReport report{this, plan.bytesToHash, separated ? folder : folder + 1, std::string()};
  std::vector<DigestOutcome> outcomes;
  if (!HashFilesInParallel(jobs, &outcomes, &CPatchHelper::OnCheckProgress, &report)) return true;
  const std::size_t beforeDigests = plan.broken.size();
  AddDigestFindings(entries, outcomes, &plan);
  g_launcher.Log("Repair : %d files checked, %d broken by size, %d by digest, %d removed files present",
                 static_cast<int>(entries.size()), static_cast<int>(beforeDigests),
                 static_cast<int>(plan.broken.size() - beforeDigests), static_cast<int>(plan.stale.size()));

  for (std::size_t i : plan.broken) {
    PatchEntry entry;
    entry.name = entries[i].name;
    entry.size = entries[i].size;
    std::memcpy(entry.hash, entries[i].hash, sizeof(entry.hash));
    entry.updateVersion = m_latestVersion;
    g_launcher.Log("Repair : fetch again : %s", entry.name.c_str());
    m_downloadSet.emplace(entry.name, entry);
    m_totalSize += entry.size;
  }
  for (std::size_t i : plan.stale) {
    g_launcher.Log("Repair : removed file present : %s", entries[i].name.c_str());
    m_deleteList.push_back(entries[i].name);
  }
  Panel().SetPanelType(PanelGeneral);
  Panel().SetProgress(100);
  return true;
}

// A stop at any point before the version is written leaves the game folder as it was: the
// moves are rolled back, and nothing is removed before every new file is in place.
PatchResult CPatchHelper::RunRepairStages() {
  if (!BuildRepairSet()) return PatchFailed;
  if (IsStopped()) return PatchStopped;
  if (!DownloadFiles()) return PatchFailed;
  if (IsStopped()) return PatchStopped;
  char backup[kMaxPath];
  JoinPath("old", backup, g_launcher.m_patchDir);
  CreateDirectories(backup, false);
  if (!BeginJournal() || !MoveOldFiles()) return PatchFailed;
  if (IsStopped()) return PatchStopped;
  if (!MoveNewFiles()) return PatchFailed;
  if (IsStopped()) {
    Rollback();
    return PatchStopped;
  }
  if (!RemoveDeletedFiles()) return PatchFailed;
  g_launcher.SaveInstalledFiles();
  if (!g_launcher.WriteClientVersion(static_cast<int>(m_latestVersion))) {
    g_launcher.ShowMessage(0, IDS_FILE_IN_USE, kMessageInfo);
    return PatchFailed;
  }
  m_journal->Commit();
  Panel().SetGameVersion(static_cast<int>(m_latestVersion));
  Panel().SetPanelType(PanelNone);
  const int repaired = static_cast<int>(m_downloadSet.size() + m_deleteList.size());
  g_launcher.Log("Repair : %d files repaired", repaired);
  if (repaired == 0) {
    g_launcher.ShowMessage(0, IDS_ALL_INTACT, kMessageInfo);
    return PatchIntact;
  }
  g_launcher.ShowMessage(repaired, IDS_REPAIRED, kMessageInfo);
  return PatchRepaired;
}

PatchResult CPatchHelper::RepairMainProc() {
  const PatchResult opened = OpenRun();
  if (opened != PatchDone) return opened;
  const PatchResult ready = ReadyToFetch();
  if (ready != PatchDone) return ready;
  CreateDirectories(g_launcher.m_patchDir, false);  // emptied but for the kept downloads
  g_launcher.WriteReadme(g_launcher.m_patchDir);
  PatchResult result = RunRepairStages();
  // The temporary folder goes only once no backup in it is still needed.
  if (SettleMoves()) EndTemporaryFolder(result == PatchRepaired || result == PatchIntact);
  if (result == PatchStopped || IsStopped()) {
    g_launcher.ShowMessage(0, IDS_UPDATE_STOPPED, kMessageInfo);
    result = PatchStopped;
  }
  Panel().SetText("Collect file information...");
  g_launcher.LogDirectoryListing(g_launcher.m_gameDir, true);
  return result;
}
