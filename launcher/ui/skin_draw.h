// The skinned look of every launcher window: a framed white background, owner-drawn
// buttons with bitmap faces, owner-drawn multi-line labels. Bitmaps are loaded for each
// paint and released before the call returns, so no GDI object outlives a paint; the
// device context is handed back with its state as it came.
#pragma once

struct HDC__;
struct HWND__;
struct tagDRAWITEMSTRUCT;

// White, with the double-line frame tiled over the client area. WM_PAINT of a screen.
void DrawFrameBackground(HDC__* dc, HWND__* window);
// One owner-drawn control of a skinned template (WM_DRAWITEM): labels 1015, 1034, 1035,
// 1043 and 1046 draw text lines; every other control is a button with a bitmap face.
// text is the control's window text.
void DrawSkinnedItem(const char* text, const tagDRAWITEMSTRUCT* item);
// The small close mark of the launcher's close button.
void DrawCloseMark(const tagDRAWITEMSTRUCT* item);
// Bitmap resource id copied from its (0, 0) to (x, y), at most width x height.
void DrawBitmapAt(int bitmapId, HDC__* dc, int x, int y, int width, int height);
