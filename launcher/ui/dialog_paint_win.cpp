// Every launcher window paints through these two, so the skin has one way in.
#include "launcher/ui/dialog_paint.h"

#include "launcher/ui/skin_draw.h"

void PaintDialogBackground(HDC dc, HWND window) { DrawFrameBackground(dc, window); }

void PaintDialogItem(const char* text, const DRAWITEMSTRUCT* item) {
  if (item == nullptr) return;
  DrawSkinnedItem(text != nullptr ? text : "", item);
}
