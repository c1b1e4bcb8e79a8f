// Plain stand-ins for the skin: a white face with a double-line border, labels line by line,
// buttons as outlined boxes. The skin drawing replaces both bodies with DrawFrameBackground
// and DrawSkinnedItem; the callers stay as they are.
#include "launcher/ui/dialog_paint.h"

#include <cstring>

namespace {

constexpr int kLineSpacing = 15;
constexpr std::size_t kMaxDrawnLine = 511;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrayText = RGB(160, 160, 160);

bool IsLabel(UINT id) { return id == 1015 || id == 1034 || id == 1035 || id == 1043 || id == 1046; }

void Outline(HDC dc, RECT r, int width) {
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  for (int i = 0; i < width; ++i) {
    FrameRect(dc, &r, black);
    InflateRect(&r, -1, -1);
  }
}

void DrawLabel(HDC dc, const char* text, const RECT& area) {
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, kWhite);
  int line = 0;
  const char* p = text;
  while (*p != '\0') {
    std::size_t len = std::strcspn(p, "\r\n");
    const bool centred = p[0] == '#';
    const char* shown = centred ? p + 1 : p;
    std::size_t shownLen = centred ? len - 1 : len;
    if (shownLen > kMaxDrawnLine) shownLen = kMaxDrawnLine;
    RECT row = {area.left, area.top + kLineSpacing * line, area.right, area.top + kLineSpacing * (line + 1) + 4};
    DrawTextA(dc, shown, static_cast<int>(shownLen), &row, (centred ? DT_CENTER : DT_LEFT) | DT_SINGLELINE | DT_NOPREFIX);
    p += len;
    // A line is counted by its line feed, so CR LF advances one line and LF LF leaves a gap.
    while (*p == '\r' || *p == '\n') {
      if (*p == '\n') ++line;
      ++p;
    }
  }
}

void DrawButton(HDC dc, const char* text, const DRAWITEMSTRUCT* item) {
  RECT r = item->rcItem;
  const bool selected = (item->itemState & ODS_SELECTED) != 0;
  const bool disabled = (item->itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
  const bool isDefault = text[0] == '@';
  if (isDefault) ++text;
  if (item->CtlID == 1032 || item->CtlID == 1033) {  // close and minimise boxes
    Outline(dc, r, 1);
    HPEN old = static_cast<HPEN>(SelectObject(dc, GetStockObject(BLACK_PEN)));
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    if (item->CtlID == 1032) {
      MoveToEx(dc, cx - 3, cy - 3, nullptr);
      LineTo(dc, cx + 4, cy + 4);
      MoveToEx(dc, cx + 3, cy - 3, nullptr);
      LineTo(dc, cx - 4, cy + 4);
    } else {
      MoveToEx(dc, cx - 3, cy + 2, nullptr);
      LineTo(dc, cx + 4, cy + 2);
    }
    SelectObject(dc, old);
    return;
  }
  if (selected) FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  Outline(dc, r, isDefault ? 2 : 1);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabled ? kGrayText : selected ? kWhite : kBlack);
  DrawTextA(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace

void PaintDialogBackground(HDC dc, HWND window) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  Outline(dc, client, 1);
  InflateRect(&client, -3, -3);
  Outline(dc, client, 1);
}

void PaintDialogItem(const char* text, const DRAWITEMSTRUCT* item) {
  if (item == nullptr) return;
  if (text == nullptr) text = "";
  HDC dc = item->hDC;
  FillRect(dc, &item->rcItem, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkColor(dc, kWhite);
  if (IsLabel(item->CtlID)) {
    SetTextColor(dc, kBlack);
    DrawLabel(dc, text, item->rcItem);
  } else {
    DrawButton(dc, text, item);
  }
}
