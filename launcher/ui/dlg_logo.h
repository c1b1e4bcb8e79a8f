// CDlgLogo (ScreenLogo): the logo splash that opens the install flow.
#pragma once
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"

// How long the logo stays before the install flow goes on.
constexpr UINT_PTR LogoTimer = 1000;

class CDlgLogo : public CDialog {
 public:
  CDlgLogo() : CDialog(IDD_LOGO, PlacementNone) {}
  ~CDlgLogo() override {}

  void OnCreate() override;
  void OnTimer(UINT_PTR id) override;
  // The template's bitmap static is the whole picture: nothing of the dialog is painted.
  void OnPaint(HWND, HDC) override {}
  HBRUSH OnCtlColorDlg() override;
};
