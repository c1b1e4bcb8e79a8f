#include "launcher/ui/message_box.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog.h"
#include "launcher/ui/dialog_items.h"
#include "launcher/ui/modal_dialog.h"

namespace {

constexpr int kQuestionTemplate = IDD_QUESTION_BOX;
constexpr int kInfoTemplate = IDD_INFO_BOX;
constexpr int kTextItem = IDC_MAIN_LABEL;
constexpr int kYesButton = IDYES;
constexpr UINT_PTR kAutoCloseTimer = 1115;

class CMessageBoxDialog : public CModalDialog {
 public:
  CMessageBoxDialog(const char* text, int type)
      : CModalDialog(type == kMessageQuestion ? kQuestionTemplate : kInfoTemplate), m_text(text) {}

 protected:
  INT_PTR OnInitDialog() override {
    const HWND box = Window();
    const char* text = m_text;
    if (text[0] == 8 || text[0] == 9) {
      SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      ++text;
    }
    SetItemText(box, kTextItem, text);
    if (FindItem(box, kYesButton) == nullptr) {
      SetTimer(box, kAutoCloseTimer, g_dialogLimits.messageCloseMs, nullptr);
    }
    SetForegroundWindow(box);
    return TRUE;
  }

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK || id == IDYES || id == IDNO) End(id);
        return TRUE;
      }
      case WM_TIMER:
        if (wParam == kAutoCloseTimer) End(0);
        return TRUE;
      default:
        return CModalDialog::HandleMessage(message, wParam, lParam);
    }
  }

 private:
  const char* m_text;
};

}  // namespace

int ShowMessageDialog(const char* text, int type) {
  CMessageBoxDialog box(text != nullptr ? text : "", type);
  return static_cast<int>(box.Run(g_launcher.m_mainWnd));
}
