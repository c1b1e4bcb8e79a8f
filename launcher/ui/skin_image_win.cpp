#include "launcher/ui/skin_image.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"

bool PanelImage::Create(HWND control) {
  RECT client = {};
  if (control == nullptr || !GetClientRect(control, &client)) return false;
  if (!Allocate(client.right - client.left, client.bottom - client.top)) return false;
  std::uint32_t size = 0;
  const void* skin = g_launcher.LoadBinResource(kSkinResourceId, &size);
  return SetSkin(skin, size);
}

void PanelImage::Present(HDC dc) const {
  if (dc == nullptr || !m_block) return;
  SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(m_back.width), static_cast<DWORD>(m_back.height), 0, 0, 0,
                    static_cast<UINT>(m_back.height), m_back.rows, reinterpret_cast<const BITMAPINFO*>(m_block.get()),
                    DIB_RGB_COLORS);
}
