// CModalDialog: the boxes that block their caller until they are answered (the message box,
// the folder chooser and its name dialog, the prerequisite download). Same model as
// CDialog: the template's one procedure hands every message to the object's handler, and
// whatever a box needs lives in the object, never in the process.
#pragma once
#include "launcher/core/windows_api.h"

class CModalDialog {
 public:
  explicit CModalDialog(int templateId) : m_templateId(templateId) {}
  CModalDialog(const CModalDialog&) = delete;
  CModalDialog& operator=(const CModalDialog&) = delete;
  virtual ~CModalDialog() = default;

  // Runs template m_templateId of the launcher's resources modally, owned by owner (may be
  // null). The value given to End, or -1 when the box could not be made.
  INT_PTR Run(HWND owner);

  HWND Window() const { return m_hWnd; }
  int TemplateId() const { return m_templateId; }

 protected:
  // Once the window and its controls exist; the result is WM_INITDIALOG's (TRUE lets the
  // dialog manager set the focus).
  virtual INT_PTR OnInitDialog() { return TRUE; }
  // Every later message. The default draws the skin (frame background, owner-drawn
  // controls from a 512-byte text) and leaves the rest unhandled (FALSE).
  virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Closes the box; Run returns result.
  void End(INT_PTR result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  int m_templateId;
  HWND m_hWnd = nullptr;
};
