// The launcher self-update: fetch the launcher manifest "talvenor.txt" from the patch file
// server, download the new launcher into the game directory, check its digest, write
// renamer out of the resources and start it. renamer replaces the executable once this
// launcher has gone.
//
// Talvenor.exe itself is only ever replaced by renamer's one rename of a checked download,
// so a kill of either program at any moment leaves the old launcher or the new one. What a
// kill can leave besides (a partial or whole download, a renamer and its placeholder) never
// stops the next update: the download is written afresh, renamer gets a fresh name, and the
// renamers left behind are removed at the next start.
#include "launcher/core/windows_api.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "launcher/core/change_hook.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/process.h"
#include "launcher/core/text.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/launcher_update.h"
#include "launcher/patch/launcher_worker.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/signed_document.h"
#include "launcher/patch/version_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/transfer/download_mgr.h"
#include "launcher/transfer/file_digest.h"
#include "launcher/ui/panel.h"
#include "launcher/ui/pipe_panel.h"

namespace {

// Downloads of a launcher whose digest keeps failing: the first one and three more, as for
// the game's files. An unbounded loop would never end against a wrong manifest.
constexpr int kDownloadCycles = 4;

using DownloadMgrPtr = std::unique_ptr<CDownloadMgr>;

// renamer's name: GetTempFileName's "renXXXX.tmp" placeholder with ".exe" appended.
constexpr char kPlaceholderPattern[] = "ren*.tmp";
constexpr char kRenamerPattern[] = "ren*.tmp.exe";

void DeleteFromGameFolder(const char* path) {
  NoteFileChange();
  DeleteFileA(path);
}

// Paths of the files in the game folder that match a pattern.
std::vector<std::string> GameFilesMatching(const char* pattern) {
  std::vector<std::string> paths;
  char wanted[kMaxPath];
  if (!JoinPath(pattern, wanted, g_launcher.m_gameDir)) return paths;
  for (CDirectoryIterator entry(wanted); entry.Next();) {
    char path[kMaxPath];
    if (!entry.IsFolder() && JoinPath(entry.Name(), path, g_launcher.m_gameDir)) paths.emplace_back(path);
  }
  return paths;
}

// What the launcher download's progress callback works with.
struct LauncherFetch {
  PatchContext* context;
  bool partNoted;  // the change of the first block's write after the file's creation
};

// The update's own connection: unlike the game's, a server that cannot be reached ends
// the run without a message, and the stop flag is looked at only afterwards.
DownloadMgrPtr ConnectForUpdate(PatchContext& context) {
  PanelOf(context).SetText("Connect to patch server...");
  ServerAddress address;
  DownloadMgrPtr mgr(CDownloadMgr::CreateDownloadMgr(context.patchInfo->ftp, &address));
  if (!mgr) {
    g_launcher.ShowRunError();
    g_launcher.Log("Fail to ConnectToServer");
    return nullptr;
  }
  if (ConnectWithRetries(*mgr, address) == ConnectResult::Connected) return mgr;
  g_launcher.Log("Fail to Connect to patch server..");
  return nullptr;
}

// No progress is shown for the launcher download, but the transfer still takes the host's
// commands between blocks: without this a "cancel" or "pause" from the host would wait
// for the whole download.
bool OnLauncherBlock(DownloadProgress* progress) {
  auto* fetch = static_cast<LauncherFetch*>(progress->context);
  PatchContext& context = *fetch->context;
  if (IsStopRequested(context)) return false;
  if (!ProcessPipeCommands()) {
    context.stop = true;
    return false;
  }
  // The writes of one download count as one change more: a kill here leaves part of the
  // new launcher beside the old one.
  if (progress->transferred > 0 && !fetch->partNoted) {
    fetch->partNoted = true;
    NoteFileChange();
  }
  return true;
}

// A download that breaks off (or is stopped) leaves no partial launcher in the game folder.
bool FetchLauncher(PatchContext& context, CDownloadMgr& mgr, const char* name, const char* localPath) {
  LauncherFetch fetch{&context, false};
  NoteFileChange();  // the file is created, or a leftover of a killed update truncated
  if (GetFile(&OnLauncherBlock, false, &mgr, name, localPath, &fetch)) return true;
  DeleteFromGameFolder(localPath);
  g_launcher.Log("launcher file searching failed.");
  g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
  return false;
}

// The launcher manifest's first entry: the new launcher's name and digest.
bool ReadLauncherManifest(CDownloadMgr& mgr, const char* ownName, char (&name)[kMaxPath],
                          unsigned char (&digest)[kMd5DigestSize]) {
  std::unique_ptr<char[]> block;
  std::uint32_t size = 0;
  const DocumentFetch fetch = GetSignedFileIntoMemory("talvenor.txt", &mgr, &block, &size);
  if (fetch != DocumentFetch::kFetched) {
    // A refused signature has logged its own line and reads to the player as a failed fetch.
    if (fetch == DocumentFetch::kNotFetched) g_launcher.Log("launcher file info not found.");
    g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
    return false;
  }
  CVersionInfo manifest;
  if (!manifest.ReadFromBlock(block.get(), size)) return false;
  // The name goes into the game directory and onto renamer's command line: a path, a name
  // with blanks or the running launcher's own name would write elsewhere or break the hand-off.
  if (manifest.GetCount() == 0 || !IsUsableLauncherName(manifest.GetName(0), ownName)) {
    g_launcher.Log("UpdateLauncher() : unusable launcher name \"%s\" in talvenor.txt.", manifest.GetName(0));
    return false;
  }
  CopyString(name, manifest.GetName(0));
  std::memcpy(digest, manifest.GetHash(0), kMd5DigestSize);
  return true;
}

// Writes renamer (resource BIN IDR_RENAMER) beside the game under a fresh name; the system
// leaves the empty "ren*.tmp" placeholder it reserved the name with, which the next start
// removes.
bool WriteRenamer(char (&path)[MAX_PATH + 4]) {
  NoteFileChange();  // the placeholder
  if (GetTempFileNameA(g_launcher.m_gameDir, "renamer", 0, path) == 0 || !AppendString(path, ".exe")) {
    g_launcher.Log("Fail to create renamer.");
    return false;
  }
  std::uint32_t size = 0;
  const void* bytes = g_launcher.LoadBinResource(IDR_RENAMER, &size);
  NoteFileChange();
  CFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    g_launcher.Log("Fail to create renamer.");
    return false;
  }
  DWORD written = 0;
  if (bytes != nullptr) NoteFileChange();
  if (bytes == nullptr || !WriteFile(file.get(), bytes, size, &written, nullptr) || written != size) {
    g_launcher.Log("Fail to write renamer.");
    file.reset();
    DeleteFromGameFolder(path);
    return false;
  }
  return true;
}

// Launcher updated: handed to renamer.
PatchResult SelfUpdate(PatchContext& context, CDownloadMgr& mgr) {
  char module[kMaxPath] = {};
  char ownName[kMaxPath] = {};
  if (!GetModulePath(module)) {
    g_launcher.Log("UpdateLauncher() : module path too long.");
    return PatchFailed;
  }
  GetFileNamePart(ownName, module);

  char name[kMaxPath] = {};
  unsigned char digest[kMd5DigestSize] = {};
  if (!ReadLauncherManifest(mgr, ownName, name, digest)) return PatchFailed;

  IPanel& panel = PanelOf(context);
  panel.SetProgress(0);
  panel.SetPanelType(PanelDownload);
  panel.SetText("Downloading launcher...");
  char local[kMaxPath];
  if (!JoinPath(name, local, g_launcher.m_gameDir)) {
    g_launcher.Log("UpdateLauncher() : game directory too long for \"%s\".", name);
    return PatchFailed;
  }
  if (!FetchLauncher(context, mgr, name, local)) return PatchFailed;
  for (int cycle = 1;; ++cycle) {
    // A stop ends the update without renamer: the result says stopped, not handed over.
    if (IsStopRequested(context)) {
      DeleteFromGameFolder(local);
      g_launcher.ShowMessage(0, IDS_UPDATE_STOPPED, kMessageInfo);
      return PatchStopped;
    }
    if (CheckHashCode(local, digest)) break;
    g_launcher.Log("downloaded launcher image was currupted.");
    if (cycle == kDownloadCycles) {
      DeleteFromGameFolder(local);
      g_launcher.ShowMessage(0, IDS_SERVER_UNREACHABLE, kMessageInfo);
      return PatchFailed;
    }
    if (!FetchLauncher(context, mgr, name, local)) return PatchFailed;
  }

  char renamer[MAX_PATH + 4] = {};
  if (!WriteRenamer(renamer)) {
    g_launcher.ShowRunError();
    return PatchFailed;
  }
  NoteFileChange();
  ClearReadOnly(module);
  char line[kMaxCommandLine];
  if (!BuildRenamerCommandLine(g_launcher, renamer, ownName, name, g_launcher.m_pipeMode, line, sizeof(line))) {
    g_launcher.Log("UpdateLauncher() : renamer command line too long.");
    DeleteFromGameFolder(renamer);
    return PatchFailed;
  }
  CProcess::CreateProcess(line, g_launcher.m_gameDir);
  return PatchLauncherUpdated;
}

}  // namespace

bool UpdateLauncher(PatchContext& context, PatchResult* result) {
  if (result != nullptr) *result = PatchFailed;
  if (context.patchInfo == nullptr ||
      !IsLauncherUpdateDue(context.patchInfo->launcher_version, g_launcher.m_forceUpdateLauncher)) {
    return false;
  }
  PatchResult r = PatchFailed;
  if (DownloadMgrPtr mgr = ConnectForUpdate(context)) {
    r = IsStopRequested(context) ? PatchStopped : SelfUpdate(context, *mgr);
  }
  g_launcher.Log("UpdateLauncher result : %d", r);
  if (result != nullptr) *result = r;
  return true;
}

// A renamer killed before it deleted itself, or written by a launcher killed before it
// started it, stays behind, and every renamer leaves its placeholder. A renamer still
// running cannot be deleted on Windows and then keeps its placeholder, so that no new
// renamer is given its name; where it can be deleted it needs its file no more.
void RemoveRenamerLeftovers() {
  for (const std::string& renamer : GameFilesMatching(kRenamerPattern)) {
    DeleteFromGameFolder(renamer.c_str());
    if (FileExists(renamer.c_str())) {
      g_launcher.Log("RemoveRenamerLeftovers() : \"%s\" is in use.", renamer.c_str());
    } else {
      g_launcher.Log("RemoveRenamerLeftovers() : removed \"%s\".", renamer.c_str());
    }
  }
  for (const std::string& placeholder : GameFilesMatching(kPlaceholderPattern)) {
    if (!FileExists((placeholder + ".exe").c_str())) DeleteFromGameFolder(placeholder.c_str());
  }
}
