// Every launcher window paints through these two, so the skin has one way in.
#include "launcher/ui/dialog_paint.h"

#include "launcher/core/win_handle.h"
#include "launcher/ui/skin_draw.h"

void PaintDialogBackground(HDC dc, HWND window) { DrawFrameBackground(dc, window); }

void PaintDialogItem(const char* text, const DRAWITEMSTRUCT* item) {
  if (item == nullptr) return;
  DrawSkinnedItem(text != nullptr ? text : "", item);
}

bool PaintModalDialogMessage(HWND window, UINT message, LPARAM lParam) {
  constexpr int kModalTextSize = 512;
  if (message == WM_PAINT) {
    CPaintDc dc(window);
    PaintDialogBackground(dc.get(), window);
    return true;
  }
  if (message == WM_DRAWITEM) {
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    char text[kModalTextSize];
    GetWindowTextA(item->hwndItem, text, sizeof(text));
    PaintDialogItem(text, item);
    return true;
  }
  return false;
}
