#include "launcher/ui/dialog.h"

#include <process.h>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/limits.h"
#include "launcher/core/win_handle.h"
#include "launcher/ui/dialog_paint.h"

DialogLimits g_dialogLimits;

namespace {

constexpr UINT kWatchPeriodMs = 100;

// Waits for a thread while still answering the messages other threads send to this one's
// windows: a worker that enables a button or opens a message box sends to the
// user-interface thread, and would otherwise hang until the limit and be terminated.
bool WaitAnsweringSentMessages(HANDLE thread, std::uint32_t limitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= limitMs) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    const DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, limitMs - elapsed, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // delivers them
  }
}

}  // namespace

CDialog::CDialog(int templateId, DialogPlacement placement) : m_templateId(templateId), m_placement(placement) {}

CDialog::~CDialog() { CDialog::Destroy(); }

bool CDialog::Create() {
  if (m_hWnd != nullptr) return false;
  m_owner = g_launcher.m_mainWnd;
  m_hWnd = CreateDialogParamA(g_launcher.m_hInstance, MAKEINTRESOURCEA(m_templateId), m_owner, &CDialog::DialogProc,
                              reinterpret_cast<LPARAM>(this));
  if (m_hWnd == nullptr) {
    g_launcher.Log("CDialog::Create() : CreateDialog() failed : template%d", m_templateId);
    return false;
  }
  Place();
  if (m_owner != nullptr) {
    RECT client;
    GetClientRect(m_owner, &client);
    CWindowDc dc(m_owner);
    if (dc) FillRect(dc.get(), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  ShowWindow(m_hWnd, SW_SHOWNORMAL);
  // Every owner-drawn control is drawn at once, not on its first hover.
  InvalidateRect(m_hWnd, nullptr, TRUE);
  for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    InvalidateRect(child, nullptr, TRUE);
  }
  OnCreate();
  return true;
}

void CDialog::Place() {
  if (m_placement == PlacementNone || m_owner == nullptr) return;
  if (m_placement == PlacementCentreInOwner) ShowWindow(m_owner, SW_SHOWMAXIMIZED);
  RECT ownerWindow, ownerClient, dialog;
  GetWindowRect(m_owner, &ownerWindow);
  GetClientRect(m_owner, &ownerClient);
  GetWindowRect(m_hWnd, &dialog);
  const int ncW = (ownerWindow.right - ownerWindow.left) - (ownerClient.right - ownerClient.left);
  const int ncH = (ownerWindow.bottom - ownerWindow.top) - (ownerClient.bottom - ownerClient.top);
  const int w = (dialog.right - dialog.left) + ncW;
  const int h = (dialog.bottom - dialog.top) + ncH;
  const int x = (GetSystemMetrics(SM_CXFULLSCREEN) - w) / 2;
  const int y = (GetSystemMetrics(SM_CYFULLSCREEN) - h) / 2;
  if (m_placement == PlacementCentreInOwner) {
    MoveWindow(m_hWnd, x, y, w, h, TRUE);
  } else {
    MoveWindow(m_owner, x, y, w, h, TRUE);
    ShowWindow(m_owner, SW_SHOWNORMAL);
  }
}

bool CDialog::Destroy() {
  if (m_hWnd == nullptr) return false;
  if (IsThreadRunning()) {
    RequestClose();
    WaitForThread();
  }
  m_thread.reset();
  // Controls torn down with the window must not reach a dialog that is being destroyed.
  SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
  DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
  return true;
}

void CDialog::OnPaint(HWND window, HDC dc) { PaintDialogBackground(dc, window); }

void CDialog::OnDrawItem(DRAWITEMSTRUCT* item) {
  if (item == nullptr) return;
  char text[4096];
  GetWindowTextA(item->hwndItem, text, sizeof(text));
  PaintDialogItem(text, item);
}

bool CDialog::BeginThread() {
  if (IsThreadRunning()) return false;
  m_threadResult = 0;
  m_thread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CDialog::ThreadStart, this, 0, &m_threadId)));
  if (!m_thread) {
    g_launcher.Log("CDialog::BeginThread() : _beginthreadex() failed.");
    return false;
  }
  SetTimer(m_hWnd, WorkerWatchTimer, kWatchPeriodMs, nullptr);
  return true;
}

unsigned __stdcall CDialog::ThreadStart(void* self) {
  CDialog* dialog = static_cast<CDialog*>(self);
  dialog->m_threadResult = dialog->ThreadProc();
  return static_cast<unsigned>(dialog->m_threadResult.load());
}

bool CDialog::IsThreadRunning() const {
  DWORD code = 0;
  return m_thread && GetExitCodeThread(m_thread.get(), &code) && code == STILL_ACTIVE;
}

void CDialog::TerminateWorker(const char* logLine) {
  g_launcher.Log("%s", logLine);
  TerminateThread(m_thread.get(), static_cast<DWORD>(-1));
  m_thread.reset();
  m_threadResult = -1;
}

void CDialog::WatchWorker() {
  // Elapsed time by subtraction, so the tick count's wrap after 49.7 days cannot make a
  // fresh stop request look overdue.
  if (IsThreadRunning() && m_stopRequested && GetTickCount() - m_stopTick > g_dialogLimits.workerStopMs) {
    TerminateWorker("terminate worker thread...");
  }
  if (IsThreadRunning()) return;
  KillTimer(m_hWnd, WorkerWatchTimer);
  m_thread.reset();
  OnThreadEnd();
  if (m_stopRequested) {
    Destroy();
    g_launcher.DestroyMainWindow();
  }
}

void CDialog::RequestClose() {
  if (m_hWnd == nullptr) return;
  m_stopTick = GetTickCount();
  if (IsThreadRunning()) {
    m_stopRequested = true;
    return;
  }
  Destroy();
  g_launcher.DestroyMainWindow();
}

void CDialog::WaitForThread() {
  if (!m_thread) return;
  if (!WaitAnsweringSentMessages(m_thread.get(), g_dialogLimits.workerStopMs)) {
    TerminateWorker("worker thread timed out");
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    // Known from here on: messages sent before CreateDialogParam returns reach a window.
    reinterpret_cast<CDialog*>(lParam)->m_hWnd = window;
    return 1;
  }
  CDialog* self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  return self != nullptr ? self->HandleMessage(message, wParam, lParam) : 0;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      CPaintDc dc(m_hWnd);
      OnPaint(m_hWnd, dc.get());
      return 0;
    }
    case WM_DRAWITEM:
      OnDrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      return 1;
    case WM_COMMAND:
      if (wParam == static_cast<WPARAM>(kMinimiseButton)) {
        g_launcher.MinimizeMainWindow();
      } else {
        OnCommand(wParam, lParam);
      }
      return 1;
    case WM_TIMER:
      if (wParam == WorkerWatchTimer) {
        WatchWorker();
      } else {
        OnTimer(wParam);
      }
      return 1;
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(OnCtlColorDlg());
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
      return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_MOUSEMOVE:
      OnMouseMove(HIWORD(lParam), LOWORD(lParam));
      return 0;
    default:
      return 0;
  }
}
