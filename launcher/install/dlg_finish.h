// CDlgFinish (ScreenFinish): registrations and shortcuts; closing it ends the launcher.
#pragma once
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"

class CDlgFinish : public CDialog {
 public:
  // One template with "/ogm_install" too: the other template that option once asked for is
  // not among the program's resources, and without a window the installation would end
  // unregistered, with nothing left to close but the process.
  CDlgFinish() : CDialog(IDD_FINISH, PlacementCentreInOwner) {}
  ~CDlgFinish() override {}

  void OnCreate() override;
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
};

// What the finish screen does when it opens, in order: removes the installer folder,
// writes the product key's game directory, the uninstall entry and the lobby values,
// creates the shortcuts, sets the browser emulation, writes the game folder's desktop.ini
// and saves the installed-file list.
void FinishInstallation();

// The work the finish screen runs when it opens (default FinishInstallation); tests that
// only want the screen put their own here. Null restores the default.
using FinishWork = void (*)();
void SetFinishWork(FinishWork work);
