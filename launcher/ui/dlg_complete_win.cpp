#include "launcher/ui/dlg_complete.h"

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog_items.h"
#include "launcher/ui/prerequisite_download.h"

void CDlgComplete::OnCreate() { CheckComponents(); }

void CDlgComplete::CheckComponents() {
  const bool xml = IsXmlLibraryInstalled();
  const bool directX = IsDirectX9Installed();
  EnableItem(Window(), IDC_XML, !xml);
  EnableItem(Window(), IDC_DIRECTX, !directX);
  // Posted: the screen is not destroyed under the code that is creating it.
  if (xml && directX) PostMessageA(Window(), WM_COMMAND, MAKEWPARAM(IDC_NEXT, BN_CLICKED), 0);
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
    case IDC_XML:
      Download(IDS_XML_DOWNLOAD);
      CheckComponents();
      return;
    case IDC_DIRECTX:
      Download(IDS_DIRECTX_DOWNLOAD);
      CheckComponents();
      return;
    case IDC_NEXT:
      Destroy();
      g_launcher.CreateDialog(ScreenFinish);
      return;
    case IDC_CLOSE_BOX:
      g_launcher.DestroyMainWindow();
      return;
    default:
      return;
  }
}
