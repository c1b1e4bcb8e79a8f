#include "launcher/ui/modal_dialog.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/ui/dialog_paint.h"

INT_PTR CModalDialog::Run(HWND owner) {
  const INT_PTR result = DialogBoxParamA(g_launcher.m_hInstance, MAKEINTRESOURCEA(m_templateId), owner,
                                         &CModalDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

void CModalDialog::End(INT_PTR result) {
  if (m_hWnd != nullptr) EndDialog(m_hWnd, result);
}

INT_PTR CModalDialog::HandleMessage(UINT message, WPARAM, LPARAM lParam) {
  return PaintModalDialogMessage(m_hWnd, message, lParam) ? TRUE : FALSE;
}

INT_PTR CALLBACK CModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    CModalDialog* self = reinterpret_cast<CModalDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->m_hWnd = window;
    return self->OnInitDialog();
  }
  CModalDialog* self = reinterpret_cast<CModalDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  const INT_PTR result = self->HandleMessage(message, wParam, lParam);
  // The window's last message: nothing may reach the object after it.
  if (message == WM_NCDESTROY) SetWindowLongPtrA(window, DWLP_USER, 0);
  return result;
}
