// CDlgBrowser (dialog type 2): the install folder page. Proposes a folder, lets the user type
// one or pick one in the folder chooser, and creates it before the installation starts.
#pragma once
#include "launcher/ui/dialog.h"

class CDlgBrowser : public CDialog {
 public:
  CDlgBrowser() : CDialog(105, PlacementCentreInOwner) {}
  ~CDlgBrowser() override {}

  void OnCreate() override;
  void OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  void Browse();
  void Next();
};
