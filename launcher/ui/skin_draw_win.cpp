#include "launcher/ui/skin_draw.h"

#include "launcher/core/windows_api.h"

#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/win_handle.h"
#include "launcher/ui/skin_layout.h"

namespace {

// Puts back everything a paint changes in a device context it was handed: colours,
// background mode, text alignment, selected objects.
class CSavedDC {
 public:
  explicit CSavedDC(HDC dc) : m_dc(dc), m_id(SaveDC(dc)) {}
  ~CSavedDC() {
    if (m_id != 0) RestoreDC(m_dc, m_id);
  }
  CSavedDC(const CSavedDC&) = delete;
  CSavedDC& operator=(const CSavedDC&) = delete;

 private:
  HDC m_dc;
  int m_id;
};

// A bitmap resource selected into a memory device context for one paint. The bitmap is
// selected out before the context is deleted, and deleted last (member order).
class CBitmapSource {
 public:
  CBitmapSource(int id, HDC target) : m_bitmap(static_cast<HGDIOBJ>(g_launcher.LoadBitmap(id))) {
    BITMAP info = {};
    if (!m_bitmap || GetObjectA(m_bitmap.get(), sizeof(info), &info) == 0) return;
    m_dc.reset(CreateCompatibleDC(target));
    if (!m_dc) return;
    m_old = SelectObject(m_dc.get(), m_bitmap.get());
    m_width = info.bmWidth;
    m_height = info.bmHeight;
  }
  ~CBitmapSource() {
    if (m_dc && m_old != nullptr) SelectObject(m_dc.get(), m_old);
  }
  CBitmapSource(const CBitmapSource&) = delete;
  CBitmapSource& operator=(const CBitmapSource&) = delete;

  // Copies the blit, cut to the bitmap's own size: a face block wider than its bitmap
  // leaves the rest of the block as it was.
  void Blit(HDC target, const SkinBlit& b) const {
    if (m_old == nullptr || b.Empty() || b.srcX < 0 || b.srcY < 0) return;
    const int width = b.width < m_width - b.srcX ? b.width : m_width - b.srcX;
    const int height = b.height < m_height - b.srcY ? b.height : m_height - b.srcY;
    if (width <= 0 || height <= 0) return;
    BitBlt(target, b.x, b.y, width, height, m_dc.get(), b.srcX, b.srcY, SRCCOPY);
  }

 private:
  CGdiObject m_bitmap;  // deleted after the context it is selected into
  CMemoryDc m_dc;
  HGDIOBJ m_old = nullptr;
  int m_width = 0;
  int m_height = 0;
};

SkinRect ToSkinRect(const RECT& r) { return SkinRect{r.left, r.top, r.right, r.bottom}; }

// White item, white background colour; monochrome faces draw black on white.
void ClearItem(HDC dc, const RECT& r) {
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, RGB(0, 0, 0));
}

void DrawLabel(HDC dc, const RECT& r, int controlId, const char* text) {
  SetBkMode(dc, OPAQUE);
  LabelLines lines(text, controlId == kPathLabelId);
  LabelLine line;
  while (lines.Next(&line)) {
    const int x = line.centred ? r.left + (r.right - r.left) / 2 : r.left;
    SetTextAlign(dc, (line.centred ? TA_CENTER : TA_LEFT) | TA_TOP | TA_NOUPDATECP);
    ExtTextOutA(dc, x, r.top + kLabelLineHeight * line.row, ETO_CLIPPED, &r, line.text,
                static_cast<UINT>(line.length), nullptr);
  }
}

}  // namespace

void DrawFrameBackground(HDC dc, HWND window) {
  RECT client = {};
  if (dc == nullptr || window == nullptr || !GetClientRect(window, &client)) return;
  CSavedDC saved(dc);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  CBitmapSource frame(kFrameBitmapId, dc);
  // The frame is monochrome: its light pixels take the background colour, its dark ones
  // the text colour.
  SetBkColor(dc, RGB(255, 255, 255));
  SetTextColor(dc, RGB(0, 0, 0));
  const std::vector<FrameSpan> columns = FrameSpans(client.right, kFrameBitmapWidth);
  for (const FrameSpan& row : FrameSpans(client.bottom, kFrameBitmapHeight)) {
    for (const FrameSpan& column : columns) {
      SkinBlit tile;
      tile.x = column.position;
      tile.y = row.position;
      tile.width = column.length;
      tile.height = row.length;
      tile.srcX = column.source;
      tile.srcY = row.source;
      frame.Blit(dc, tile);
    }
  }
}

void DrawSkinnedItem(const char* text, const DRAWITEMSTRUCT* item) {
  if (item == nullptr || item->hDC == nullptr) return;
  if (text == nullptr) text = "";
  HDC dc = item->hDC;
  const RECT& r = item->rcItem;
  const int id = static_cast<int>(item->CtlID);
  CSavedDC saved(dc);
  ClearItem(dc, r);
  if (IsSkinLabel(id)) {
    DrawLabel(dc, r, id, text);
    return;
  }
  const SkinFace face = ChooseFace(id, item->itemState, text);
  {
    CBitmapSource bitmap(face.bitmapId, dc);
    bitmap.Blit(dc, PlaceFace(face, ToSkinRect(r)));
  }
  int x = 0, y = 0;
  FaceTextOrigin(ToSkinRect(r), &x, &y);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, face.colour);
  SetTextAlign(dc, TA_CENTER | TA_TOP | TA_NOUPDATECP);
  ExtTextOutA(dc, x, y, ETO_CLIPPED, &r, face.text, static_cast<UINT>(std::strlen(face.text)), nullptr);
}

void DrawCloseMark(const DRAWITEMSTRUCT* item) {
  if (item == nullptr || item->hDC == nullptr) return;
  HDC dc = item->hDC;
  CSavedDC saved(dc);
  ClearItem(dc, item->rcItem);
  int bitmapId = 0;
  const SkinBlit place = PlaceCloseMark((item->itemState & ODS_SELECTED) != 0, ToSkinRect(item->rcItem), &bitmapId);
  CBitmapSource bitmap(bitmapId, dc);
  bitmap.Blit(dc, place);
}

void DrawBitmapAt(int bitmapId, HDC dc, int x, int y, int width, int height) {
  if (dc == nullptr) return;
  CBitmapSource bitmap(bitmapId, dc);
  SkinBlit b;
  b.x = x;
  b.y = y;
  b.width = width;
  b.height = height;
  bitmap.Blit(dc, b);
}
