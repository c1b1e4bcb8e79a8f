// CDlgLauncher (ScreenLauncher, and every unknown type): the patch screen of the normal mode.
// CDlgInstaller derives from it with its own template and placement.
#pragma once
#include "launcher/patch/patch_helper.h"
#include "launcher/patch/patch_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"
#include "launcher/ui/dialog_items.h"
#include "launcher/ui/dialog_panel.h"

class Host;

// Shows the notice page once the dialog is on screen.
constexpr UINT_PTR BrowserTimer = 1002;

class CDlgLauncher : public CDialog {
 public:
  CDlgLauncher() : CDlgLauncher(IDD_LAUNCHER, PlacementFitOwner) {}
  ~CDlgLauncher() override;

  void OnCreate() override;
  void OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnTimer(UINT_PTR id) override;
  void OnDrawItem(DRAWITEMSTRUCT* item) override;
  int ThreadProc() override;
  void OnThreadEnd() override;

  // Enables or disables the start button.
  virtual void EnableStart(bool enable) { EnableItem(Window(), IDC_START_GAME, enable); }

 protected:
  CDlgLauncher(int templateId, DialogPlacement placement);
  // What a patch run of this dialog's worker works with: the patch information, the texts,
  // the stop flag and the panel.
  PatchContext WorkerContext() { return PatchContext{&m_patchInfo, &m_texts, StopFlag(), &m_panel}; }

  CPanel m_panel;
  Host* m_browser = nullptr;
  PatchTexts m_texts;
  CPatchInfo m_patchInfo;
};
