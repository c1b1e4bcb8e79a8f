// CDlgInstaller (dialog type 3): the installation screen, built on the patch screen.
#pragma once
#include "launcher/ui/dlg_launcher.h"

class CDlgInstaller : public CDlgLauncher {
 public:
  CDlgInstaller() : CDlgLauncher(117, PlacementCentreInOwner) {}
  ~CDlgInstaller() override {}
};
