#include "launcher/install/dlg_installer.h"

#include "launcher/core/windows_api.h"

#include <new>

#include "build_settings.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/install/install_helper.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/browser_host.h"
#include "launcher/ui/dialog_items.h"
#include "launcher/ui/installer_layout.h"

namespace {

// The page's window overlaps its frame by this much on every side, so that the page's own
// border stays hidden.
constexpr int kPageOverlap = 2;

// Whether the cancel button is drawn pressed: the panel draws the close mark under it.
bool g_cancelPressed = false;

// The page paints all of its window; an erased background would only flicker.
LRESULT CALLBACK ChildWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterChildClass() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ChildWindowProc;
  windowClass.hInstance = g_launcher.m_hInstance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kInstallerChildClass;
  // A second installer screen finds the class registered already.
  RegisterClassA(&windowClass);
}

LayoutRect ToLayout(const RECT& r) {
  LayoutRect out;
  out.left = r.left;
  out.top = r.top;
  out.right = r.right;
  out.bottom = r.bottom;
  return out;
}

}  // namespace

CDlgInstaller::~CDlgInstaller() {
  // The worker reports into the panel: it must be over before anything goes.
  Destroy();
}

void CDlgInstaller::OnCreate() {
  g_launcher.LoadInstalledFiles();
  m_panel.Attach(FindItem(Window(), IDC_PANEL));
  m_panel.SetPanelType(PanelGeneral);
  m_panel.Clear(0);
  RegisterChildClass();

  RECT client = {};
  if (g_launcher.m_mainWnd != nullptr) GetClientRect(g_launcher.m_mainWnd, &client);
  const LayoutRect area = InstallerPageArea(ToLayout(client));
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  HWND frame = CreateWindowExA(0, kInstallerChildClass, "", WS_CHILD | WS_VISIBLE, area.left, area.top, w, h,
                               Window(), nullptr, g_launcher.m_hInstance, nullptr);
  m_pageWindow = frame != nullptr ? CreateWindowExA(0, kInstallerChildClass, "", WS_CHILD | WS_VISIBLE, -kPageOverlap,
                                                    -kPageOverlap, w + 2 * kPageOverlap, h + 2 * kPageOverlap, frame,
                                                    nullptr, g_launcher.m_hInstance, nullptr)
                                  : nullptr;

  // The panel and the cancel button keep their place relative to the template as it lay
  // before the stretch: centred across, at the same distance from the bottom.
  RECT dialog = {};
  GetWindowRect(Window(), &dialog);
  const int moved[] = {IDC_PANEL, IDC_INSTALLER_CANCEL};
  RECT before[2] = {};
  for (int i = 0; i < 2; ++i) {
    if (HWND control = FindItem(Window(), moved[i])) {
      GetWindowRect(control, &before[i]);
      OffsetRect(&before[i], -dialog.left, -dialog.top);
    }
  }
  MoveWindow(Window(), client.left, client.top, client.right - client.left, client.bottom - client.top, FALSE);
  for (int i = 0; i < 2; ++i) {
    HWND control = FindItem(Window(), moved[i]);
    if (control == nullptr) continue;
    const RECT& r = before[i];
    const LayoutPoint at = MovedControl(ToLayout(client), ToLayout(dialog), ToLayout(r));
    MoveWindow(control, at.x, at.y, r.right - r.left, r.bottom - r.top, TRUE);
  }
  InvalidateRect(Window(), nullptr, TRUE);

  ShowInstallerPage();
  if (!BeginThread()) g_launcher.ShowRunError();
}

void CDlgInstaller::ShowInstallerPage() {
  delete m_browser;
  m_browser = nullptr;
  if (m_pageWindow == nullptr) return;
  m_browser = new (std::nothrow) Host(m_pageWindow);
  if (m_browser != nullptr) m_browser->Navigate(TALV_INSTALLER_PAGE_URL);
}

void CDlgInstaller::OnCommand(WPARAM wParam, LPARAM) {
  if (LOWORD(wParam) != IDC_INSTALLER_CANCEL) return;
  if (g_launcher.ShowMessage(0, IDS_CANCEL_INSTALL, kMessageQuestion) == IDYES) RequestClose();
}

void CDlgInstaller::OnPaint(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void CDlgInstaller::OnDrawItem(DRAWITEMSTRUCT* item) {
  if (item == nullptr) return;
  switch (item->CtlID) {
    case IDC_INSTALLER_CANCEL:
      // The button itself stays transparent; the panel shows its state.
      g_cancelPressed = (item->itemState & ODS_SELECTED) != 0;
      if (HWND panel = FindItem(Window(), IDC_PANEL)) InvalidateRect(panel, nullptr, FALSE);
      break;
    case IDC_PANEL:
      m_panel.Clear(0);
      m_panel.Draw(item, g_cancelPressed, false);
      break;
    default: CDialog::OnDrawItem(item); break;
  }
}

PatchResult CDlgInstaller::InstallFromServer() {
  PatchContext context = WorkerContext();
  if (!m_patchInfo.Read(m_texts.patchInfoUrl)) {
    g_launcher.ShowMessage(0, IDS_PATCH_INFO_FAILED, kMessageInfo);
    return PatchFailed;
  }
  CPatchHelper helper(&context);
  return helper.PatchMainProc() == PatchDone ? PatchDone : PatchFailed;
}

int CDlgInstaller::ThreadProc() {
  PatchResult result;
  if (g_launcher.m_installRequested) {
    result = InstallFromServer();
    if (IsStopRequested()) result = PatchFailed;
    // Whatever the run wrote so far goes again: a half installation is no installation.
    if (result == PatchFailed) g_launcher.DeleteInstalledFiles();
  } else {
    // Covers the installer folder, the stop flag and the clean-up after a failure.
    result = RunLocalInstallation(&m_panel, [this] { return IsStopRequested(); }) ? PatchDone : PatchFailed;
  }
  return result;
}

void CDlgInstaller::OnThreadEnd() {
  // Only a complete installation is registered: a worker terminated after a stop request
  // ends stopped, and its files are not all there.
  if (GetThreadResult() == PatchDone) {
    // The page goes before the window that holds it.
    delete m_browser;
    m_browser = nullptr;
    Destroy();
    g_launcher.CreateDialog(ScreenFinish);
  } else {
    g_launcher.DestroyMainWindow();
  }
}
