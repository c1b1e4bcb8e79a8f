// CDlgComplete (ScreenPrerequisites): the prerequisite page. It offers the downloads of the XML
// library and of DirectX while either is missing, and goes on to the finish screen once
// both are present.
#pragma once
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"

class CDlgComplete : public CDialog {
 public:
  CDlgComplete() : CDialog(IDD_PREREQUISITES, PlacementCentreInOwner) {}
  ~CDlgComplete() override {}

  void OnCreate() override;
  void OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  // Enables the download of each missing component; with none missing, moves on.
  void CheckComponents();
  void Download(int stringId);
};
