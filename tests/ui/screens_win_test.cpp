// Pictures of the screens for people, not a test: scripts/screens runs this program with
// --gtest_also_run_disabled_tests --gtest_filter=Screens.* and TALV_SCREENS_DIR set, and it
// writes one PNG per screen, each in a sample state, captured from the window itself.
#include "launcher/core/windows_api.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "launcher/app/launcher_app.h"
#include "launcher/ui/dialog.h"
#include "launcher/ui/dialog_panel.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/ui_driver.h"

namespace {

class Screen : public CDialog {
 public:
  Screen(int templateId, DialogPlacement placement) : CDialog(templateId, placement) {}
  ~Screen() override {}

  // Sample states: the progress screens' panel mid-run (42 % with a status text), the
  // launcher's start button enabled, the prerequisite download at 60 %.
  void OnCreate() override {
    if (TemplateId() == 112) EnableWindow(GetDlgItem(Window(), kStartButton), TRUE);
    if (TemplateId() == 111) SendDlgItemMessageA(Window(), kDownloadBar, PBM_SETPOS, 60, 0);
    if (TemplateId() != 112 && TemplateId() != 117) return;  // elsewhere 1035 is a label
    HWND control = GetDlgItem(Window(), kPanelControl);
    if (control == nullptr) return;
    m_hasPanel = true;
    m_panel.Attach(control);
    if (TemplateId() == 112) m_panel.ShowVersions();
    m_panel.SetGameVersion(100);
    m_panel.SetPanelType(TemplateId() == 117 ? PanelExtract : PanelDownload);
    m_panel.SetText("Patch data\\maps\\world.map");
    m_panel.SetProgress(42);
  }
  void OnDrawItem(DRAWITEMSTRUCT* item) override {
    if (m_hasPanel && item != nullptr && item->CtlID == kPanelControl) {
      const bool launcher = TemplateId() == 112;
      m_panel.Clear(launcher ? 255 : 0);
      m_panel.Draw(item, false, launcher);
      return;
    }
    CDialog::OnDrawItem(item);
  }

 private:
  static constexpr int kPanelControl = 1035;
  static constexpr int kStartButton = 1026;
  static constexpr int kDownloadBar = 1021;
  CPanel m_panel;
  bool m_hasPanel = false;
};

void PutBE32(std::string& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  PutBE32(png, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png += body;
  PutBE32(png, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

// The window as it is on the screen, frame included, as an RGB PNG.
bool WritePng(HWND window, const std::string& path) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC source = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  CGdiObject bitmap(CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  HGDIOBJ old = SelectObject(memory, bitmap.get());
  BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY);
  GdiFlush();
  std::string raw;
  const auto* pixels = static_cast<const unsigned char*>(bits);
  for (int y = 0; y < h; ++y) {
    raw.push_back('\0');  // no filter
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = pixels + (static_cast<std::size_t>(y) * w + x) * 4;
      raw.push_back(static_cast<char>(p[2]));
      raw.push_back(static_cast<char>(p[1]));
      raw.push_back(static_cast<char>(p[0]));
    }
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(window, source);
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 9) != Z_OK) {
    return false;
  }
  packed.resize(packedSize);
  std::string header;
  PutBE32(header, static_cast<std::uint32_t>(w));
  PutBE32(header, static_cast<std::uint32_t>(h));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
  std::string png = "\x89PNG\r\n\x1a\n";
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  return WriteFileBytes(path, png);
}

void Settle() {
  WaitUntil(
      [] {
        ui::PumpMessages();
        return false;
      },
      300);
}

std::string OutputPath(const std::string& name) {
  const char* dir = std::getenv("TALV_SCREENS_DIR");
  return std::string(dir != nullptr ? dir : ".") + "\\" + name + ".png";
}

std::string Big5(const wchar_t* text) {
  char out[2048];
  int n = WideCharToMultiByte(950, 0, text, -1, out, sizeof(out), nullptr, nullptr);
  return std::string(out, n > 0 ? n - 1 : 0);
}

TEST(Screens, DISABLED_Render) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  ScopedLauncher launcher;
  struct Shot {
    const char* name;
    int templateId;
    DialogPlacement placement;
  } shots[] = {
      {"101_logo", 101, PlacementNone},          {"104_notice", 104, PlacementCentreInOwner},
      {"105_folder", 105, PlacementCentreInOwner}, {"107_folder_chooser", 107, PlacementNone},
      {"108_new_folder", 108, PlacementNone},    {"109_uninstaller", 109, PlacementCentreInOwner},
      {"110_components", 110, PlacementCentreInOwner}, {"111_download", 111, PlacementNone},
      {"112_launcher", 112, PlacementFitOwner},  {"113_finish", 113, PlacementCentreInOwner},
      {"117_installer", 117, PlacementCentreInOwner}, {"119_agreement", 119, PlacementFitOwner},
  };
  for (const Shot& shot : shots) {
    ASSERT_TRUE(launcher.mgr.CreateMainWindow());
    Screen screen(shot.templateId, shot.placement);
    ASSERT_TRUE(screen.Create()) << shot.name;
    if (HWND path = GetDlgItem(screen.Window(), 1005)) SetWindowTextA(path, "C:\\Program Files\\Talvenor");
    if (HWND path = GetDlgItem(screen.Window(), 1015)) SetWindowTextA(path, "C:\\Program Files\\Talvenor");
    if (HWND text = GetDlgItem(screen.Window(), 1001)) {
      SetWindowTextA(text, Big5(L"talvenor 使用者條約\r\n\r\n第一條 本條約適用於talvenor的所有服務.").c_str());
    }
    Settle();
    EXPECT_TRUE(WritePng(screen.Window(), OutputPath(shot.name))) << shot.name;
    screen.Destroy();
    launcher.mgr.DestroyMainWindow();
    ui::PumpMessages();
  }

  UseLauncherMessages();
  struct Box {
    const char* name;
    int type;
    std::string text;
  } boxes[] = {
      {"114_question", kMessageQuestion, Big5(L"#要將talvenor從硬碟上\n#刪除嗎?")},
      {"115_information", kMessageInfo, Big5(L"#更新完成.\n\n左對齊的一行, 後面是置中的一行.\n#無法複製檔案。若一直發生此問題，請重新啟動電腦後,再次執行安裝程式。")},
  };
  for (const Box& b : boxes) {
    std::thread shower([&] { launcher.mgr.MessageBox(b.text.c_str(), b.type); });
    UiWindow box = ui::WaitForMessageBox(GetCurrentProcessId());
    ASSERT_NE(box, nullptr);
    PauseMs(300);
    EXPECT_TRUE(WritePng(box, OutputPath(b.name)));
    ui::AnswerMessageBox(box, b.type == kMessageQuestion ? 7 : 1);
    shower.join();
  }
  launcher.mgr.SetMessageHook(nullptr, nullptr);
}

}  // namespace
