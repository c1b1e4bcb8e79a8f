#include "launcher/ui/message_box.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"
#include "launcher/ui/dialog_paint.h"

namespace {

constexpr int kQuestionTemplate = IDD_QUESTION_BOX;
constexpr int kInfoTemplate = IDD_INFO_BOX;
constexpr int kTextItem = IDC_MAIN_LABEL;
constexpr int kYesButton = IDYES;
constexpr UINT_PTR kAutoCloseTimer = 1115;

INT_PTR CALLBACK MessageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const char* text = reinterpret_cast<const char*>(lParam);
      if (text[0] == 8 || text[0] == 9) {
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ++text;
      }
      SetDlgItemTextA(box, kTextItem, text);
      if (GetDlgItem(box, kYesButton) == nullptr) {
        SetTimer(box, kAutoCloseTimer, g_dialogLimits.messageCloseMs, nullptr);
      }
      SetForegroundWindow(box);
      return TRUE;
    }
    case WM_PAINT:
    case WM_DRAWITEM:
      return PaintModalDialogMessage(box, message, lParam) ? TRUE : FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDOK || id == IDYES || id == IDNO) EndDialog(box, id);
      return TRUE;
    }
    case WM_TIMER:
      if (wParam == kAutoCloseTimer) EndDialog(box, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int ShowMessageDialog(const char* text, int type) {
  if (text == nullptr) text = "";
  return static_cast<int>(DialogBoxParamA(
      g_launcher.m_hInstance, MAKEINTRESOURCEA(type == kMessageQuestion ? kQuestionTemplate : kInfoTemplate),
      g_launcher.m_mainWnd, MessageBoxProc, reinterpret_cast<LPARAM>(text)));
}
