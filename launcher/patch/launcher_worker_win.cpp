#include "launcher/patch/launcher_worker.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/exe_patch.h"
#include "launcher/patch/move_journal_file.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/patch/patch_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/panel.h"
#include "launcher/ui/pipe_panel.h"

PatchResult RunLauncherWorker(PatchContext& context) {
  IPanel& panel = PanelOf(context);
  // An earlier run killed half way is undone before anything new is read or fetched.
  if (!RecoverInterruptedRun(panel)) return PatchFailed;
  RemoveRenamerLeftovers();
  if (context.patchInfo == nullptr || context.texts == nullptr ||
      !context.patchInfo->Read(context.texts->patchInfoUrl)) {
    g_launcher.ShowMessage(0, IDS_PATCH_INFO_FAILED, kMessageInfo);
    return PatchFailed;
  }
  PatchResult result = PatchFailed;
  if (UpdateLauncher(context, &result)) return result;
  {
    CPatchHelper helper(&context);
    if (g_launcher.m_exePatch) {
      result = ExePatchMainProc(helper);
    } else if (g_launcher.m_repair && !g_launcher.m_installRequested) {
      result = helper.RepairMainProc();
      if (result == PatchFailed) g_launcher.ShowMessage(10, IDS_EXTRACT_FAILED, kMessageInfo);
    } else {
      result = helper.PatchMainProc();
      if (result == PatchFailed) g_launcher.ShowMessage(10, IDS_EXTRACT_FAILED, kMessageInfo);
    }
  }
  panel.SetProgress(0);
  panel.SetText("");
  panel.SetPanelType(PanelNone);
  return result;
}
