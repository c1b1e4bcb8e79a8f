// CDlgUninstaller (dialog type 8): the one screen of "/uninstall".
#pragma once
#include "launcher/core/launcher_mgr.h"
#include "launcher/ui/dialog.h"

class CDlgUninstaller : public CDialog {
 public:
  CDlgUninstaller() : CDialog(109, PlacementCentreInOwner) {}
  ~CDlgUninstaller() override {}

  void OnCommand(WPARAM wParam, LPARAM) override {
    const int id = LOWORD(wParam);
    if (id == 2 || id == 1032) g_launcher.DestroyMainWindow();  // cancel, close box
  }
};
