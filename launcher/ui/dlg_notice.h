// The agreement screens: CDlgNotice (ScreenAgreement) in the install flow, CDlgLauncherNotice
// (ScreenPlayAgreement) before the game client starts. Agreeing on the install flow's page leads to the
// folder page, or straight to the installer where the folder page is skipped.
#pragma once
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"

// Puts the service agreement (BIN IDR_AGREEMENT) into the dialog's agreement edit; the edit stays empty
// when the resource is missing.
void ShowServiceAgreement(HWND dialog);

class CDlgNotice : public CDialog {
 public:
  CDlgNotice() : CDialog(IDD_AGREEMENT, PlacementCentreInOwner) {}
  ~CDlgNotice() override {}

  void OnCreate() override { ShowServiceAgreement(Window()); }
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
};

class CDlgLauncherNotice : public CDialog {
 public:
  CDlgLauncherNotice() : CDialog(IDD_PLAY_AGREEMENT, PlacementFitOwner) {}
  ~CDlgLauncherNotice() override {}

  void OnCreate() override { ShowServiceAgreement(Window()); }
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
};
