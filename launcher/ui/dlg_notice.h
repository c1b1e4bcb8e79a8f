// The agreement screens: CDlgNotice (dialog type 1) in the install flow, CDlgLauncherNotice
// (type 7) before the game client starts.
#pragma once
#include "launcher/ui/dialog.h"

class CDlgNotice : public CDialog {
 public:
  CDlgNotice() : CDialog(104, PlacementCentreInOwner) {}
  ~CDlgNotice() override {}
};

class CDlgLauncherNotice : public CDialog {
 public:
  CDlgLauncherNotice() : CDialog(119, PlacementFitOwner) {}
  ~CDlgLauncherNotice() override {}
};
