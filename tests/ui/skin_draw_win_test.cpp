#include "launcher/ui/skin_draw.h"

#include "launcher/core/windows_api.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/core/win_handle.h"
#include "launcher/ui/dialog_panel.h"
#include "launcher/ui/skin_layout.h"
#include "launcher/ui/skin_image.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/win_test_util.h"

namespace {

// Live GDI objects of this process; 0 when they cannot be counted. Windows counts them
// (GetGuiResources); Wine answers 0 there, but keeps the GDI handle table in the process,
// where a live entry has a type. (32-bit Wine leaves the table out of reach.)
unsigned GdiObjectCount() {
  const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return counted;
  struct Entry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
  };
  constexpr int kWineHandles = 16384;
  using QueryProcess = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryProcess>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic = {};
  if (query == nullptr || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) {
    return 0;
  }
  const auto* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
  const auto* table = *reinterpret_cast<const Entry* const*>(peb + (sizeof(void*) == 8 ? 0xF8 : 0x94));
  if (table == nullptr) return 0;
  unsigned live = 0;
  for (int i = 0; i < kWineHandles; ++i) live += table[i].type != 0 ? 1 : 0;
  return live;
}

constexpr int kPanelId = 1035;
constexpr int kCloseMarkId = 1010;

// A plain skinned window: frame background, a panel, a label, buttons and the close mark,
// drawn the way a dialog draws them.
struct SkinnedWindow {
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<SkinnedWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
      case WM_PAINT: {
        CPaintDc dc(hwnd);
        DrawFrameBackground(dc.get(), hwnd);
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;
      case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (self == nullptr) return TRUE;
        ++self->itemsDrawn;
        if (item->CtlID == kPanelId) {
          self->panel.Clear(self->clearTo);
          self->panel.Draw(item, self->closePressed, self->compact);
        } else if (item->CtlID == kCloseMarkId) {
          DrawCloseMark(item);
        } else {
          char text[4096];
          GetWindowTextA(item->hwndItem, text, sizeof(text));
          DrawSkinnedItem(text, item);
        }
        return TRUE;
      }
      default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
  }

  SkinnedWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA cls = {};
    cls.lpfnWndProc = Proc;
    cls.hInstance = instance;
    cls.lpszClassName = "TalvSkinTest";
    RegisterClassA(&cls);
    window = CreateWindowExA(0, "TalvSkinTest", "skin", WS_POPUP | WS_VISIBLE, 0, 0, 420, 300, nullptr, nullptr,
                             instance, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Child(kPanelId, "", 10, 10, 340, 60);
    Child(1034, "#\xB2\xC4\xA4\x40\xA6\xE6\n\nsecond line", 10, 80, 300, 50);  // "#第一行"
    Child(kPathLabelId, "C:\\Program Files\\Talvenor\\data\\maps\\world01\\region\\x.pak", 10, 130, 300, 20);
    Child(1, "@\xBD\x54\xBB\x7B", 10, 160, 80, 25);  // "@確認"
    Child(kStartButtonId, "", 100, 160, 173, 50);
    Child(kCloseBoxId, "", 300, 160, 13, 11);
    Child(kCloseMarkId, "", 320, 160, 40, 20);
    panel.Attach(GetDlgItem(window, kPanelId));
  }
  ~SkinnedWindow() { DestroyWindow(window); }

  void Child(int id, const char* text, int x, int y, int w, int h) {
    CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, x, y, w, h, window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  }
  void Repaint() { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

  HWND window = nullptr;
  CPanel panel;
  unsigned char clearTo = 255;
  bool closePressed = false;
  bool compact = true;
  int itemsDrawn = 0;
};

// A white 24-bit memory picture to draw into and read back.
struct MemoryPicture {
  MemoryPicture(int w, int h) : width(w), height(h) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down, so bits[y * stride + x * 3]
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* pixels = nullptr;
    bitmapOwner.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    bitmap = static_cast<HBITMAP>(bitmapOwner.get());
    bits = static_cast<BYTE*>(pixels);
    dcOwner.reset(CreateCompatibleDC(nullptr));
    dc = dcOwner.get();
    old = SelectObject(dc, bitmap);
    std::memset(bits, 0xFF, Stride() * h);
  }
  ~MemoryPicture() { SelectObject(dc, old); }  // the bitmap goes before its context
  std::size_t Stride() const { return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4; }
  // 0 black, 255 white, other values grey or colour (the blue byte).
  int At(int x, int y) const {
    GdiFlush();
    return bits[static_cast<std::size_t>(y) * Stride() + static_cast<std::size_t>(x) * 3];
  }
  DRAWITEMSTRUCT Item(int id, unsigned state, int w, int h) const {
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(id);
    item.itemState = state;
    item.hDC = dc;
    item.rcItem = RECT{0, 0, w, h};
    return item;
  }

  int width, height;
  CMemoryDc dcOwner;
  CGdiObject bitmapOwner;  // released before dcOwner
  HBITMAP bitmap = nullptr;
  BYTE* bits = nullptr;
  HDC dc = nullptr;
  HGDIOBJ old = nullptr;
};

}  // namespace

TEST(SkinDraw, RepaintsLeaveNoGdiOrUserObjectsBehind) {
  ScopedLauncher launcher;
  SkinnedWindow w;
  ASSERT_NE(w.window, nullptr);
  w.panel.ShowVersions();
  for (int i = 0; i < 5; ++i) w.Repaint();  // first paints create the system's own objects
  const unsigned gdiBefore = GdiObjectCount();
  const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  if (gdiBefore == 0) GTEST_SKIP() << "GDI objects cannot be counted on this system";
  const int drawnBefore = w.itemsDrawn;
  const PanelType types[] = {PanelGeneral, PanelDownload, PanelExtract, PanelNone};
  for (int i = 0; i < 200; ++i) {
    w.panel.SetPanelType(types[i % 4]);
    w.panel.SetProgress(i % 120 - 10);
    w.panel.SetText("Downloading data/maps/world01.pak");
    w.clearTo = i % 2 == 0 ? 255 : 0;
    w.compact = i % 3 != 0;
    w.closePressed = i % 5 == 0;
    w.Repaint();
  }
  EXPECT_GE(w.itemsDrawn - drawnBefore, 200 * 7);
  EXPECT_LE(GdiObjectCount(), gdiBefore);
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userBefore);
}

TEST(SkinDraw, FacesLandCentredAndTheDeviceContextComesBackAsItWas) {
  ScopedLauncher launcher;
  MemoryPicture picture(80, 25);
  SetTextColor(picture.dc, RGB(1, 2, 3));
  SetBkMode(picture.dc, OPAQUE);
  const HGDIOBJ font = GetCurrentObject(picture.dc, OBJ_FONT);

  DRAWITEMSTRUCT item = picture.Item(1, 0, 80, 25);
  DrawSkinnedItem("", &item);
  // Face 119 (64 x 19) at (7, 3): its outline black, white inside and around it.
  EXPECT_EQ(picture.At(7 + 32, 3), 0);
  EXPECT_EQ(picture.At(7 + 32, 2), 255);
  EXPECT_EQ(picture.At(7 + 32, 3 + 9), 255);
  EXPECT_EQ(picture.At(7 + 32, 3 + 18), 0);
  EXPECT_EQ(picture.At(7 + 64, 12), 255);  // the 65th column of the block stays white

  item.itemState = ODS_SELECTED;
  DrawSkinnedItem("", &item);
  EXPECT_EQ(picture.At(7 + 32, 3 + 9), 0);  // 125, filled black

  EXPECT_EQ(GetTextColor(picture.dc), RGB(1, 2, 3));
  EXPECT_EQ(GetBkMode(picture.dc), OPAQUE);
  EXPECT_EQ(GetCurrentObject(picture.dc, OBJ_BITMAP), picture.bitmap);
  EXPECT_EQ(GetCurrentObject(picture.dc, OBJ_FONT), font);
}

TEST(SkinDraw, CloseMarkAndBitmapsAreCutToWhatTheyCover) {
  ScopedLauncher launcher;
  MemoryPicture picture(40, 20);
  DRAWITEMSTRUCT item = picture.Item(kCloseMarkId, ODS_SELECTED, 40, 20);
  DrawCloseMark(&item);
  // 129 (inverted, 33 x 11) at (3, 4); the twelfth row of the 33 x 12 copy stays white.
  EXPECT_EQ(picture.At(3, 4), 0);
  EXPECT_EQ(picture.At(3 + 32, 4 + 10), 0);
  EXPECT_EQ(picture.At(3, 4 + 11), 255);
  EXPECT_EQ(picture.At(2, 4), 255);

  MemoryPicture small(10, 10);
  DrawBitmapAt(125, small.dc, 2, 2, 1000, 1000);
  EXPECT_EQ(small.At(9, 9), 0);
  EXPECT_EQ(small.At(1, 1), 255);
}

TEST(SkinDraw, FrameBackgroundPutsTheFrameEdgesOnTheWindowEdges) {
  ScopedLauncher launcher;
  SkinnedWindow w;
  RECT client = {};
  GetClientRect(w.window, &client);
  ASSERT_EQ(client.right, 420);
  MemoryPicture picture(client.right, client.bottom);
  DrawFrameBackground(picture.dc, w.window);
  const int r = client.right - 1, b = client.bottom - 1;
  // The outer line runs 2 pixels inside every edge; the middle is white.
  EXPECT_EQ(picture.At(10, 2), 0);
  EXPECT_EQ(picture.At(r - 2, 150), 0);
  EXPECT_EQ(picture.At(200, b - 2), 0);
  EXPECT_EQ(picture.At(2, 150), 0);
  EXPECT_EQ(picture.At(200, 150), 255);
  EXPECT_EQ(picture.At(150, 1), 255);
}

TEST(SkinDraw, ResourcesOfTheLauncher) {
  HMODULE module = LauncherResources();
  ASSERT_NE(module, nullptr);
  struct Bitmap {
    int id, width, height, bits;
  };
  const Bitmap bitmaps[] = {
      {118, 186, 260, 8}, {119, 64, 19, 1},   {120, 64, 19, 4},   {121, 64, 19, 1},   {122, 64, 19, 1},
      {123, 64, 19, 4},   {124, 64, 19, 1},   {125, 64, 19, 1},   {126, 186, 162, 1}, {127, 33, 11, 1},
      {129, 33, 11, 1},   {130, 13, 11, 1},   {132, 13, 11, 1},   {134, 48, 12, 4},   {135, 13, 11, 1},
      {137, 13, 11, 1},   {138, 236, 46, 4},  {139, 130, 62, 16}, {142, 173, 50, 8},  {143, 173, 50, 8},
      {144, 173, 50, 8},  {145, 173, 50, 8},
  };
  for (const Bitmap& b : bitmaps) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(b.id), MAKEINTRESOURCEA(2));  // RT_BITMAP
    ASSERT_NE(found, nullptr) << b.id;
    const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(info, nullptr) << b.id;
    EXPECT_EQ(info->biWidth, b.width) << b.id;
    EXPECT_EQ(info->biHeight, b.height) << b.id;
    EXPECT_EQ(info->biBitCount, b.bits) << b.id;
  }
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(133), MAKEINTRESOURCEA(2)), nullptr);
  for (int icon : {164, 167, 168, 169}) {
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(icon), MAKEINTRESOURCEA(14)), nullptr) << icon;  // RT_GROUP_ICON
  }

  HRSRC skin = FindResourceA(module, MAKEINTRESOURCEA(kSkinResourceId), "BIN");
  ASSERT_NE(skin, nullptr);
  PanelImage image;
  ASSERT_TRUE(image.SetSkin(LockResource(LoadResource(module, skin)), SizeofResource(module, skin)));
  EXPECT_NE(image.SkinPixel(299, 179), nullptr);
  EXPECT_EQ(image.SkinPixel(300, 179), nullptr);
  EXPECT_EQ(image.SkinPixel(299, 180), nullptr);
}
