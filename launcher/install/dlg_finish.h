// CDlgFinish (dialog type 5): registrations and shortcuts; closing it ends the launcher.
#pragma once
#include "launcher/core/launcher_mgr.h"
#include "launcher/ui/dialog.h"

class CDlgFinish : public CDialog {
 public:
  CDlgFinish() : CDialog(g_launcher.m_ogmInstall ? 179 : 113, PlacementCentreInOwner) {}
  ~CDlgFinish() override {}
};
