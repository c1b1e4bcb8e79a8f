// CDialog: base of every launcher screen. A screen is a modeless dialog from a template in
// the program's resources, owned by the hidden main window. It runs its long work on one
// worker thread of its own; the user-interface thread only draws and answers buttons, and a
// close request while the worker runs only sets a flag that the worker polls.
#pragma once
#include "launcher/core/windows_api.h"

#include <atomic>
#include <cstdint>

#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

enum DialogPlacement : int {
  PlacementNone = 0,           // the template positions itself
  PlacementCentreInOwner = 1,  // the main window is maximised, the dialog centred on the screen
  PlacementFitOwner = 2,       // the main window takes the dialog's size, centred on the screen
};

// The minimise button of every skinned template; it never reaches a dialog's OnCommand.
constexpr int kMinimiseButton = IDC_MINIMISE_BOX;
// Watches the worker while it runs; derived dialogs use other timer ids.
constexpr UINT_PTR WorkerWatchTimer = 1;

// How long a worker may ignore a stop request before it is terminated, and how long an
// information box stays before it closes itself. These are the shipping values; only tests
// shorten them, so that they need not wait the limits out.
struct DialogLimits {
  std::uint32_t workerStopMs = 15000;
  std::uint32_t messageCloseMs = 10000;
};
extern DialogLimits g_dialogLimits;

class CDialog {
 public:
  CDialog(int templateId, DialogPlacement placement);
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // The virtual operations, in their slot order.
  virtual ~CDialog() = 0;  // every screen supplies one; the base part runs CDialog::Destroy
  // Stops the worker (bounded wait) and destroys the window; false when there is none.
  virtual bool Destroy();
  virtual void OnCreate() {}
  // wParam's low word is the control id; screens ignore the notification code.
  virtual void OnCommand(WPARAM, LPARAM) {}
  virtual void OnTimer(UINT_PTR) {}
  virtual void OnPaint(HWND window, HDC dc);
  virtual void OnDrawItem(DRAWITEMSTRUCT* item);
  virtual void OnMouseMove(int, int) {}  // high word, low word of lParam
  virtual HBRUSH OnCtlColorDlg() { return nullptr; }
  virtual int ThreadProc() { return 0; }  // on the worker thread
  virtual void OnThreadEnd() {}           // on the user-interface thread, once the worker ended
  // Every message of the window arrives here. The default routes the framework's messages
  // to the operations above and leaves every other one unhandled (0); a screen that needs
  // another message overrides this and passes the rest on to CDialog::HandleMessage.
  virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Creates the window from the template, places and shows it, then OnCreate. False when the
  // window exists already or creation failed (logged).
  bool Create();
  // Starts the worker; false (nothing started) when one runs or the start failed.
  bool BeginThread();
  // Close on behalf of the user: at once without a worker; with a worker, the watch timer
  // finishes the close once the worker has ended (or was terminated).
  void RequestClose();
  bool IsThreadRunning() const;
  bool IsStopRequested() const { return m_stopRequested.load(); }
  int GetThreadResult() const { return m_threadResult.load(); }
  // The stop request as a flag the patch pipeline can poll without knowing the dialog.
  const std::atomic<bool>* StopFlag() const { return &m_stopRequested; }

  HWND Window() const { return m_hWnd; }
  int TemplateId() const { return m_templateId; }

  // The one procedure of every screen's template: attaches the object at WM_INITDIALOG and
  // hands it every later message.
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static unsigned __stdcall ThreadStart(void* self);
  void WatchWorker();
  void WaitForThread();
  void Place();
  void TerminateWorker(const char* logLine);

  int m_templateId;
  DialogPlacement m_placement;
  HWND m_owner = nullptr;
  HWND m_hWnd = nullptr;
  CKernelHandle m_thread;
  std::atomic<bool> m_stopRequested{false};
  unsigned m_threadId = 0;
  std::atomic<int> m_threadResult{0};
  std::uint32_t m_stopTick = 0;
};
