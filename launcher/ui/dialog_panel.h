// CPanel: the panel of a dialog. The worker thread sets its state; the user-interface
// thread draws it into an owner-drawn control when the control repaints. The numbers are
// atomic; the text, which takes more than one store, is guarded by a mutex.
//
// A setter only marks the panel changed; a timer of the user-interface thread invalidates
// the control at most once a frame, and only after a change. A transfer sets the panel for
// every block and file, hundreds of times a second: neither the worker's calls nor the
// repaints they cause may cost the worker its time.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "launcher/ui/panel.h"
#include "launcher/ui/skin_image.h"

struct HWND__;
struct tagDRAWITEMSTRUCT;

class CPanel : public IPanel {
 public:
  static constexpr std::size_t kTextSize = 1024;

  CPanel() = default;
  ~CPanel();
  CPanel(const CPanel&) = delete;
  CPanel& operator=(const CPanel&) = delete;

  // Not attached: type, version and text are ignored; a changed percentage is kept.
  void SetPanelType(int type) override;
  void SetGameVersion(int version) override;
  void SetText(const char* text) override;
  void SetProgress(int percent) override;
  void SetSize(std::uint64_t, std::uint64_t) override {}  // the window panel shows no sizes
  void SetSpeed(std::uint32_t, std::uint32_t) override {}

  // Remembers the owner-drawn control the panel draws into and makes the back buffer of
  // its client size, white, with the skin. On the control's thread: it starts the frame
  // timer there.
  void Attach(HWND__* control);
  // The frame timer's work: invalidates the control when the panel changed since the last
  // time (with erase when a type change asked for it).
  void Flush();
  // Sets every byte of the back buffer: 255 white, 0 black. Called right before Draw.
  void Clear(unsigned char value) { m_image.Fill(value); }
  // Composes the panel into the back buffer and shows it in the item's device context
  // (WM_DRAWITEM of the panel control). closePressed adds the pressed close mark of the
  // full frame; compact draws the launcher's narrower frame.
  void Draw(const tagDRAWITEMSTRUCT* item, bool closePressed, bool compact);
  // Copies the text (buffer of kTextSize) under the lock; nothing when not attached.
  void GetText(char* buffer);
  void ShowVersions() { m_showVersions = true; }

  int Type() const { return m_type; }
  int Progress() const { return m_progress; }
  int GameVersion() const { return m_gameVersion; }
  bool VersionsShown() const { return m_showVersions; }

 private:
  void Invalidate(bool erase);

  PanelImage m_image;
  HWND__* m_control = nullptr;
  std::atomic<bool> m_changed{false};
  std::atomic<bool> m_eraseWanted{false};
  bool m_showVersions = false;
  std::mutex m_textLock;
  std::atomic<int> m_type{0};
  std::atomic<int> m_progress{0};
  char m_text[kTextSize] = {};  // under m_textLock
  std::atomic<int> m_gameVersion{0};
};
