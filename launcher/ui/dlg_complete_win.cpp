#include "launcher/ui/dlg_complete.h"

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/ui/prerequisite_download.h"

namespace {

constexpr int kNextButton = 1009;
constexpr int kCloseButton = 1032;
constexpr int kXmlButton = 1036;
constexpr int kDirectXButton = 1037;
constexpr int kXmlDownload = 7;
constexpr int kDirectXDownload = 8;
constexpr int kFinishScreen = 5;

}  // namespace

void CDlgComplete::OnCreate() { CheckComponents(); }

void CDlgComplete::CheckComponents() {
  const bool xml = IsXmlLibraryInstalled();
  const bool directX = IsDirectX9Installed();
  EnableWindow(GetDlgItem(Window(), kXmlButton), xml ? FALSE : TRUE);
  EnableWindow(GetDlgItem(Window(), kDirectXButton), directX ? FALSE : TRUE);
  // Posted: the screen is not destroyed under the code that is creating it.
  if (xml && directX) PostMessageA(Window(), WM_COMMAND, MAKEWPARAM(kNextButton, BN_CLICKED), 0);
}

void CDlgComplete::Download(int stringId) {
  char text[kMaxPath];
  DownloadRequest request;
  if (!ParseDownloadParameter(g_launcher.GetString(sizeof(text), text, stringId), &request)) {
    g_launcher.Log("CDlgComplete::Download() : no download in string %d.", stringId);
    return;
  }
  RunPrerequisiteDownload(Window(), request.address, request.size);
}

void CDlgComplete::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case kXmlButton:
      Download(kXmlDownload);
      CheckComponents();
      return;
    case kDirectXButton:
      Download(kDirectXDownload);
      CheckComponents();
      return;
    case kNextButton:
      Destroy();
      g_launcher.CreateDialog(kFinishScreen);
      return;
    case kCloseButton:
      g_launcher.DestroyMainWindow();
      return;
    default:
      return;
  }
}
