// Host mode ("/pipe"): the dialog-less run that a host program (a portal client, a test
// rig, a build server pre-patching a game image) drives. Progress goes to standard output
// as pipe-panel lines, commands ("pause", "resume", "cancel") come from standard input,
// message boxes become "message : ID : TEXT" lines and questions are answered "no", so
// nothing ever waits for a click. The main window exists, hidden, so that other launchers
// and renamer see a launcher running.
#include "launcher/app/launcher_app.h"

#include "launcher/core/windows_api.h"

#include <string>

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/launcher_worker.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/start_up_registrations.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/pipe_panel.h"

namespace {

// Reads command lines from the host until its input ends; the end changes nothing.
DWORD WINAPI ReadHostCommands(void*) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buffer[256];
  DWORD read = 0;
  while (input != nullptr && input != INVALID_HANDLE_VALUE &&
         ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    pending.append(buffer, read);
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      if (int code = ParsePipeCommand(pending.substr(0, end))) QueuePipeCommand(code);
    }
  }
  return 0;
}

// Exit codes a host can branch on without parsing the result line.
int ExitCodeFor(PatchResult result) {
  switch (result) {
    case PatchDone: return 0;
    case PatchFailed: return 1;
    case PatchStopped: return 2;
    case PatchPlayRefused: return 3;
    case PatchLauncherUpdated: return 4;  // start the launcher again later
    case PatchRepaired: return 5;
    case PatchIntact: return 6;
    default: return 1;
  }
}

}  // namespace

int ShowHostMessage(int stringId, const char* text, int type) {
  WritePipeLine(CLauncherMgr::HostMessageLine(stringId, text).c_str());
  return type == kMessageQuestion ? IDNO : IDOK;
}

void RunHostMode(CLauncherMgr& mgr) {
  PatchResult result = PatchFailed;
  auto finish = [&](PatchResult r) {
    char line[32];
    FormatString(line, sizeof(line), "result : %d", static_cast<int>(r));
    WritePipeLine(line);
    mgr.m_exitCode = ExitCodeFor(r);
    mgr.DestroyMainWindow();
  };
  // Two launchers must never patch one directory at once.
  if (IsOtherLauncherRunning()) {
    mgr.ShowMessage(0, IDS_LAUNCHER_RUNNING, kMessageInfo);
    return finish(PatchFailed);
  }
  if (!mgr.CreateMainWindow()) return finish(PatchFailed);

  mgr.LoadInstalledFiles();
  char registered[kMaxPath] = {};
  bool found = mgr.ReadGameDirFromRegistry(registered) && mgr.SetGameDir(registered) && IsClientInstalled();
  if (!found) found = mgr.SetGameDir(mgr.m_currentDir) && IsClientInstalled();
  if (!found) {
    mgr.Log("Game installed directory is : %s", registered);
    mgr.ShowMessage(0, IDS_WRONG_INSTALL_PATH, kMessageInfo);
    return finish(PatchFailed);
  }
  // A host-mode patch leaves the same registrations as one run through the dialog.
  PerformStartUpRegistrations();

  g_pipeCommandMode = true;
  CKernelHandle reader(CreateThread(nullptr, 0, &ReadHostCommands, nullptr, 0, nullptr));

  PatchTexts texts;
  mgr.GetString(sizeof(texts.portalPage), texts.portalPage, IDS_PORTAL_PAGE);
  mgr.GetString(sizeof(texts.memberPage), texts.memberPage, IDS_JOIN_PAGE);
  mgr.GetString(sizeof(texts.noticePage), texts.noticePage, IDS_NOTICE_PAGE);
  JoinPath("patch_live.txt", texts.patchInfoUrl, mgr.m_patchBaseUrl);
  ToForwardSlashes(texts.patchInfoUrl);
  CPatchInfo info;
  PatchContext context;
  context.patchInfo = &info;
  context.texts = &texts;
  context.panel = &GetPipePanel();
  result = RunLauncherWorker(context);

  if (IsPlayableResult(result) && mgr.m_hostPlay && !mgr.StartClient(mgr.m_clientArgs, mgr.ReadClientVersion())) {
    mgr.ShowMessage(0, IDS_RUN_FAILED, kMessageInfo);
    result = PatchFailed;
  }
  finish(result);
}
