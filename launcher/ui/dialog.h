// Base of every launcher screen. Each screen is created by type number, owned by the
// launcher's dialog list, and moves on by destroying itself and creating the next type.
#pragma once

struct HWND__;

class CDialog {
 public:
  explicit CDialog(int type) : m_type(type) {}
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the dialog window owned by the main window. False (and logged) on failure.
  virtual bool Create();
  virtual void Destroy();
  int Type() const { return m_type; }
  // Set by the close button while the worker runs; the worker polls it.
  bool IsCancelled() const { return m_cancel; }
  void RequestCancel() { m_cancel = true; }
  HWND__* Window() const { return m_hWnd; }

 protected:
  int m_type;
  HWND__* m_hWnd = nullptr;
  volatile bool m_cancel = false;
};
