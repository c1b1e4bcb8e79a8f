// CDlgInstaller (ScreenInstaller): the installation screen, built on the patch screen. It is
// stretched over the main window with the publisher's installer page in the middle and the
// panel under it; its worker installs the game, by patching from the server ("/install")
// or from the installer archive beside the launcher, and hands over to the finish screen.
#pragma once
#include "launcher/patch/dlg_launcher.h"
#include "launcher/patch/patch_result.h"
#include "launcher/resources/resource_ids.h"

// The window class of the page's two host windows.
constexpr char kInstallerChildClass[] = "talvenor_launcher child window";

class CDlgInstaller : public CDlgLauncher {
 public:
  CDlgInstaller() : CDlgLauncher(IDD_INSTALLER, PlacementCentreInOwner) { m_panel.SetPanelType(PanelGeneral); }
  ~CDlgInstaller() override;

  void OnCreate() override;
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnPaint(HWND window, HDC dc) override;
  void OnDrawItem(DRAWITEMSTRUCT* item) override;
  int ThreadProc() override;
  void OnThreadEnd() override;

 private:
  void ShowInstallerPage();
  // Done when complete; failed when it failed or was stopped.
  PatchResult InstallFromServer();

  HWND m_pageWindow = nullptr;  // the page's inner window, inside the black frame window
};
