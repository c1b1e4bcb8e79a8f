// The agreement screens: CDlgNotice (dialog type 1) in the install flow, CDlgLauncherNotice
// (type 7) before the game client starts. Agreeing on the install flow's page leads to the
// folder page, or straight to the installer where the folder page is skipped.
#pragma once
#include "launcher/ui/dialog.h"

// Puts the service agreement (BIN 111) into edit 1001 of the dialog; the edit stays empty
// when the resource is missing.
void ShowServiceAgreement(HWND dialog);

class CDlgNotice : public CDialog {
 public:
  CDlgNotice() : CDialog(104, PlacementCentreInOwner) {}
  ~CDlgNotice() override {}

  void OnCreate() override { ShowServiceAgreement(Window()); }
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
};

class CDlgLauncherNotice : public CDialog {
 public:
  CDlgLauncherNotice() : CDialog(119, PlacementFitOwner) {}
  ~CDlgLauncherNotice() override {}

  void OnCreate() override { ShowServiceAgreement(Window()); }
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
};
