// CDlgComplete (dialog type 4): the prerequisite page (XML library, DirectX).
#pragma once
#include "launcher/ui/dialog.h"

class CDlgComplete : public CDialog {
 public:
  CDlgComplete() : CDialog(110, PlacementCentreInOwner) {}
  ~CDlgComplete() override {}
};
