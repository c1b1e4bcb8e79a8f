// CDlgBrowser (ScreenInstallFolder): the install folder page. Proposes a folder, lets the user type
// one or pick one in the folder chooser, and creates it before the installation starts.
#pragma once
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"

class CDlgBrowser : public CDialog {
 public:
  CDlgBrowser() : CDialog(IDD_INSTALL_FOLDER, PlacementCentreInOwner) {}
  ~CDlgBrowser() override {}

  void OnCreate() override;
  void OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  void Browse();
  void Next();
};
