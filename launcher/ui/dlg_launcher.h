// CDlgLauncher (dialog type 6, and every unknown type): the patch screen of the normal mode.
// CDlgInstaller derives from it with its own template and placement.
#pragma once
#include "launcher/ui/dialog.h"

class CDlgLauncher : public CDialog {
 public:
  CDlgLauncher() : CDlgLauncher(112, PlacementFitOwner) {}
  ~CDlgLauncher() override {}

  // Enables or disables the start button 1026.
  virtual void EnableStart(bool enable) {
    if (HWND start = GetDlgItem(Window(), 1026)) EnableWindow(start, enable ? TRUE : FALSE);
  }

 protected:
  CDlgLauncher(int templateId, DialogPlacement placement) : CDialog(templateId, placement) {}
};
