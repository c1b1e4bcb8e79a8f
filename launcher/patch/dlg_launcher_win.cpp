#include "launcher/patch/dlg_launcher.h"

#include "launcher/core/windows_api.h"

#include <new>

#include "launcher/core/env_checks.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/patch/launcher_worker.h"
#include "launcher/patch/start_up_registrations.h"
#include "launcher/ui/browser_host.h"
#include "launcher/ui/skin_draw.h"

namespace {

constexpr UINT kBrowserDelayMs = 100;

}  // namespace

CDlgLauncher::CDlgLauncher(int templateId, DialogPlacement placement) : CDialog(templateId, placement) {
  g_launcher.GetString(sizeof(m_texts.portalPage), m_texts.portalPage, IDS_PORTAL_PAGE);
  g_launcher.GetString(sizeof(m_texts.memberPage), m_texts.memberPage, IDS_JOIN_PAGE);
  g_launcher.GetString(sizeof(m_texts.noticePage), m_texts.noticePage, IDS_NOTICE_PAGE);
  JoinPath("patch_live.txt", m_texts.patchInfoUrl, g_launcher.m_patchBaseUrl);
  ToForwardSlashes(m_texts.patchInfoUrl);
}

CDlgLauncher::~CDlgLauncher() {
  // The worker reports into the panel and reads the patch information: it must be over
  // before the members go.
  Destroy();
  delete m_browser;
  m_browser = nullptr;
}

void CDlgLauncher::OnCreate() {
  g_launcher.LoadInstalledFiles();
  m_panel.Attach(FindItem(Window(), IDC_PANEL));
  EnableStart(false);
  SetTimer(Window(), BrowserTimer, kBrowserDelayMs, nullptr);

  char registered[kMaxPath] = {};
  bool found = g_launcher.ReadGameDirFromRegistry(registered) && g_launcher.SetGameDir(registered) &&
               IsClientInstalled();
  if (!found) found = g_launcher.SetGameDir(g_launcher.m_currentDir) && IsClientInstalled();
  if (!found) {
    KillTimer(Window(), BrowserTimer);
    g_launcher.Log("Game installed directory is : %s", registered);
    g_launcher.ShowMessage(0, IDS_WRONG_INSTALL_PATH, kMessageInfo);
    g_launcher.DestroyMainWindow();
    return;
  }
  PerformStartUpRegistrations();

  m_panel.ShowVersions();
  m_panel.SetGameVersion(g_launcher.ReadClientVersion());
  if (!BeginThread()) g_launcher.ShowRunError();
}

void CDlgLauncher::OnTimer(UINT_PTR id) {
  if (id != BrowserTimer) return;
  KillTimer(Window(), BrowserTimer);
  delete m_browser;
  m_browser = new (std::nothrow) Host(FindItem(Window(), IDC_NOTICE_PAGE));
  if (m_browser != nullptr) m_browser->Navigate(m_texts.noticePage);
}

void CDlgLauncher::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case IDC_START_GAME:
      // The page goes before the window that holds it.
      delete m_browser;
      m_browser = nullptr;
      Destroy();
      g_launcher.CreateDialog(ScreenPlayAgreement);
      break;
    case IDC_PORTAL: g_launcher.OpenWebPage(m_texts.portalPage); break;
    case IDC_JOIN: g_launcher.OpenWebPage(m_texts.memberPage); break;
    case IDC_LAUNCHER_CLOSE: RequestClose(); break;
    default: break;
  }
}

void CDlgLauncher::OnDrawItem(DRAWITEMSTRUCT* item) {
  if (item == nullptr) return;
  switch (item->CtlID) {
    case IDC_PANEL:
      m_panel.Clear(255);
      m_panel.Draw(item, false, true);
      break;
    case IDC_LAUNCHER_CLOSE: DrawCloseMark(item); break;
    default: CDialog::OnDrawItem(item); break;
  }
}

int CDlgLauncher::ThreadProc() {
  EnableStart(false);
  PatchContext context = WorkerContext();
  const PatchResult result = RunLauncherWorker(context);
  if (IsPlayableResult(result) && !g_launcher.m_exePatch) EnableStart(true);
  return result;
}

void CDlgLauncher::OnThreadEnd() {
  const int result = GetThreadResult();
  if (g_launcher.m_exePatch) {
    // The self-extracting patch has done its one job: hand over to the installed launcher.
    if (result == PatchDone) g_launcher.StartLauncher();
    g_launcher.DestroyMainWindow();
  } else if (result == PatchLauncherUpdated) {
    // renamer waits for this launcher to end before it replaces it.
    g_launcher.DestroyMainWindow();
  }
}
