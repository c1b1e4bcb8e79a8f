// CDlgLogo (dialog type 0): the logo splash that opens the install flow.
#pragma once
#include "launcher/ui/dialog.h"

class CDlgLogo : public CDialog {
 public:
  CDlgLogo() : CDialog(101, PlacementNone) {}
  ~CDlgLogo() override {}
};
