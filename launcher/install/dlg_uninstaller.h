// CDlgUninstaller (ScreenUninstaller): the one screen of "/uninstall". It asks once, removes the
// installation, and hands the launcher's own executable to talvremover.
#pragma once
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"

class CDlgUninstaller : public CDialog {
 public:
  CDlgUninstaller() : CDialog(IDD_UNINSTALLER, PlacementCentreInOwner) {}
  ~CDlgUninstaller() override {}

  void OnCreate() override;
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
};
