#include "launcher/patch/exe_patch.h"

#include "launcher/core/windows_api.h"

#include <cstdio>

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/safe_file.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/patch/patch_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/storage/zip_archive.h"
#include "launcher/transfer/download_mgr.h"
#include "launcher/ui/panel.h"

namespace {

// Creates the folders above a path that an archive entry will be written to.
void CreateParentOf(const char* path) {
  char parent[kMaxPath];
  CreateDirectories(GetParentDir(parent, path), false);
}

// Extracts every non-empty entry into folder, showing the progress. A name that cannot be
// read or would land outside the folder cannot be extracted: the run fails with the extraction
// message and the code. recordCopies: the files join the copy list for the moves that follow.
bool ExtractEntries(ZipArchive& archive, const char* folder, CPatchHelper& helper, const char* logPrefix,
                    int failureCode, bool recordCopies) {
  IPanel& panel = helper.Panel();
  const std::uint32_t count = GetZipEntryCount(archive);
  for (std::uint32_t i = 0; i < count && !helper.IsStopped(); ++i) {
    char name[kMaxPath];
    char local[kMaxPath] = {};
    const bool named = GetZipEntryName(archive, name, i);
    if (named && IsZipEntryEmpty(archive, name)) continue;
    const bool placed = named && MakeZipEntryPath(folder, name, local);
    if (placed) {
      CreateParentOf(local);
      panel.SetProgress(static_cast<int>((100ull * i) / count));
      g_launcher.Log("%s%s", logPrefix, local);
    }
    if (!placed || !ExtractZipEntry(local, archive, name)) {
      g_launcher.Log("Fail to extract file : %s", placed ? local : (named ? name : ""));
      g_launcher.ShowMessage(failureCode, IDS_EXTRACT_FAILED, kMessageInfo);
      return false;
    }
    if (recordCopies) helper.AddToCopyList(name, local);
  }
  return true;
}

void LogGameDirectory(CPatchHelper& helper) {
  helper.Panel().SetText("Collect file information...");
  g_launcher.LogDirectoryListing(g_launcher.m_gameDir, true);
}

}  // namespace

PatchResult ExePatchMainProc(CPatchHelper& helper) {
  IPanel& panel = helper.Panel();
  panel.SetPanelType(PanelGeneral);
  LogGameDirectory(helper);

  std::uint32_t begin = 0, end = 0;
  if (!g_launcher.ReadExePatchVersions(&begin, &end)) {
    g_launcher.Log("ExePatchMainProc() : Fail to read version info.");
    g_launcher.ShowRunError();
    return PatchFailed;
  }
  if (begin == 0) {
    g_launcher.Log("ExePatchMainProc() : Begin version is 0.");
    g_launcher.ShowRunError();
    return PatchFailed;
  }
  g_launcher.Log("Included diff version : from %d to %d", static_cast<int>(begin), static_cast<int>(end));

  CPatchInfo* info = helper.Context() != nullptr ? helper.Context()->patchInfo : nullptr;
  std::uint32_t latest = info != nullptr ? static_cast<std::uint32_t>(info->patch_version) : 0;
  g_launcher.Log("Latest patch version : %d", static_cast<int>(latest));
  std::uint32_t current = static_cast<std::uint32_t>(g_launcher.ReadClientVersion());
  g_launcher.Log("Current client version : %d", static_cast<int>(current));

  if (current >= latest && !g_launcher.m_forcePatch) {
    g_launcher.LogDirectoryListing(g_launcher.m_gameDir, true);
    g_launcher.CopyLog(current, latest);
    g_launcher.Log("Game Directory version : %s", g_launcher.m_gameDir);
    g_launcher.Log("Current client version : %d", static_cast<int>(current));
    g_launcher.Log("Latest client version : %d", static_cast<int>(latest));
    g_launcher.ShowMessage(0, IDS_ALREADY_NEWEST, kMessageInfo);
    return PatchDone;
  }
  if (current < begin || current > end) {
    g_launcher.ShowMessage(0, IDS_CLIENT_TOO_OLD, kMessageInfo);
    return PatchFailed;
  }
  latest = end;
  helper.SetVersions(current, latest);
  CreateDirectories(g_launcher.m_patchDir, true);
  helper.SetFetchStage(&ExtractPatch);
  helper.SetDoneMessage(IDS_UPDATE_FINISHED_RESTART);
  const bool staged = helper.RunPatchStages();
  CFile::RemoveDirectory(g_launcher.m_patchDir, false);
  LogGameDirectory(helper);
  g_launcher.CopyLog(current, latest);
  if (!staged) return PatchFailed;
  return helper.IsStopped() ? PatchStopped : PatchDone;
}

bool ExtractPatch(CPatchHelper& helper) {
  IPanel& panel = helper.Panel();
  panel.SetProgress(0);
  panel.SetPanelType(PanelExtract);

  std::uint32_t a = 0, b = 0;
  std::int64_t p = 0;
  char module[kMaxPath];
  std::FILE* file = (GetModulePath(module) && g_launcher.CheckSelfExtract(module, &a, &b, nullptr, &p))
                        ? std::fopen(module, "rb")
                        : nullptr;
  if (file == nullptr) {
    g_launcher.ShowRunError();
    g_launcher.Log("ExtractPatch() : Fail to CheckSelfExtract().");
    return false;
  }
  ZipArchive archive;
  // The executable up to the trailer, and in it the archive's window [a, a + b).
  auto* window = new FileStreamPacked(new FileStream(file, static_cast<std::uint64_t>(p)), a, b, true);
  if (!OpenZipStream(window, archive)) {  // deletes the stream when it fails
    g_launcher.Log("ExtractPatch - Fail to open zip file.");
    g_launcher.ShowMessage(6, IDS_EXTRACT_FAILED, kMessageInfo);
    return false;
  }
  panel.SetText("Extract patch file...");
  if (!ExtractEntries(archive, g_launcher.m_patchDir, helper, "Extract file : ", 7, true)) return false;
  panel.SetProgress(100);
  return true;
}

bool FetchDevClient(const char* address, CPatchHelper& helper) {
  helper.SetServerAddress(address);
  if (!helper.ConnectToPatchServer() || helper.IsStopped()) return false;
  IPanel& panel = helper.Panel();
  char archivePath[kMaxPath];
  if (!JoinPath("DevClient.zip", archivePath, g_launcher.m_patchDir)) return false;
  panel.SetProgress(0);
  panel.SetPanelType(PanelDownload);
  panel.SetText("Downloading dev client...");
  if (!GetFile(nullptr, false, helper.DownloadManager(), "DevClient.zip", archivePath, nullptr)) {
    g_launcher.Log("Fail to download dev client.");
    g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
    return false;
  }
  panel.SetProgress(0);
  panel.SetPanelType(PanelExtract);
  panel.SetText("Extracting dev client...");
  ZipArchive archive;
  if (!OpenZipFile(archivePath, archive)) {
    g_launcher.Log("Fail to open zip file : \"%s\"", archivePath);
    g_launcher.ShowMessage(8, IDS_EXTRACT_FAILED, kMessageInfo);
    return false;
  }
  return ExtractEntries(archive, g_launcher.m_gameDir, helper, " - Extract file : ", 9, false);
}
