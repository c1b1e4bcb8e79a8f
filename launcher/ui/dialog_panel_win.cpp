#include "launcher/ui/dialog_panel.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"

namespace {

constexpr UINT kFrameMs = 40;  // 25 repaints a second at most: smooth to the eye

UINT_PTR FrameTimerId(const CPanel* panel) { return reinterpret_cast<UINT_PTR>(panel); }

void CALLBACK OnFrame(HWND, UINT, UINT_PTR id, DWORD) { reinterpret_cast<CPanel*>(id)->Flush(); }

}  // namespace

CPanel::~CPanel() {
  if (m_control != nullptr && IsWindow(m_control)) KillTimer(m_control, FrameTimerId(this));
}

void CPanel::Invalidate(bool erase) {
  if (m_control == nullptr) return;
  if (erase) m_eraseWanted = true;
  m_changed = true;
}

void CPanel::Flush() {
  if (m_control == nullptr || !m_changed.exchange(false)) return;
  InvalidateRect(m_control, nullptr, m_eraseWanted.exchange(false) ? TRUE : FALSE);
}

void CPanel::SetPanelType(int type) {
  if (m_control == nullptr) return;
  m_type = type;
  Invalidate(true);
}

void CPanel::SetGameVersion(int version) {
  if (m_control == nullptr) return;
  m_gameVersion = version;
  Invalidate(false);
}

void CPanel::SetText(const char* text) {
  if (text == nullptr || m_control == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(m_textLock);
    CopyString(m_text, text);
    g_launcher.Log("panel text : %s", m_text);
  }
  Invalidate(false);
}

void CPanel::SetProgress(int percent) {
  if (percent == m_progress) return;
  m_progress = percent;
  Invalidate(false);
}

void CPanel::Attach(HWND__* control) {
  if (m_control != nullptr && IsWindow(m_control)) KillTimer(m_control, FrameTimerId(this));
  m_control = control;
  m_image.Create(control);
  if (control != nullptr) SetTimer(control, FrameTimerId(this), kFrameMs, &OnFrame);
}

void CPanel::Draw(const DRAWITEMSTRUCT* item, bool closePressed, bool compact) {
  if (m_control == nullptr || item == nullptr) return;
  char text[kTextSize] = {};
  const PanelView view{m_type, m_progress, text, m_showVersions, m_gameVersion};
  if (view.type != PanelNone) GetText(text);
  const RECT& r = item->rcItem;
  ComposePanel(m_image, view, SkinRect{r.left, r.top, r.right, r.bottom}, closePressed, compact);
  m_image.Present(item->hDC);
}

void CPanel::GetText(char* buffer) {
  if (m_control == nullptr || buffer == nullptr) return;
  std::lock_guard<std::mutex> hold(m_textLock);
  CopyString(buffer, kTextSize, m_text);
}
