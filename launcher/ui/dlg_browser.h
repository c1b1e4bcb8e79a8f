// CDlgBrowser (dialog type 2): the install folder page.
#pragma once
#include "launcher/ui/dialog.h"

class CDlgBrowser : public CDialog {
 public:
  CDlgBrowser() : CDialog(105, PlacementCentreInOwner) {}
  ~CDlgBrowser() override {}
};
