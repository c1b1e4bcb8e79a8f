// The screens of the launcher are not built yet; until they are, every dialog type is this
// plain window that names the screen and ends the launcher when it is closed.
#include "launcher/ui/dialog.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"

namespace {

constexpr char kClassName[] = "TalvenorScreen";
constexpr int kCloseButton = 1;

const char* ScreenName(int type) {
  static const char* const names[] = {"CDlgLogo",  "CDlgNotice", "CDlgBrowser",
                                      "CDlgInstaller", "CDlgComplete", "CDlgFinish",
                                      "CDlgLauncher",  "CDlgLauncherNotice", "CDlgUninstaller"};
  return (type >= 0 && type <= 8) ? names[type] : "CDlgLauncher";
}

LRESULT CALLBACK ScreenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kCloseButton) g_launcher.DestroyMainWindow();
      return 0;
    case WM_CLOSE:
      g_launcher.DestroyMainWindow();
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

bool RegisterScreenClass(HINSTANCE instance) {
  WNDCLASSA cls = {};
  if (GetClassInfoA(instance, kClassName, &cls)) return true;
  cls.lpfnWndProc = ScreenProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  cls.lpszClassName = kClassName;
  return RegisterClassA(&cls) != 0;
}

}  // namespace

CDialog::~CDialog() { Destroy(); }

bool CDialog::Create() {
  HINSTANCE instance = g_launcher.m_hInstance;
  if (!RegisterScreenClass(instance)) {
    g_launcher.Log("CDialog::Create() : fail to create dialog %d.", m_type);
    return false;
  }
  m_hWnd = CreateWindowExA(0, kClassName, g_launcher.m_title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                           CW_USEDEFAULT, CW_USEDEFAULT, 360, 140, g_launcher.m_mainWnd, nullptr, instance,
                           nullptr);
  if (m_hWnd == nullptr) {
    g_launcher.Log("CDialog::Create() : fail to create dialog %d.", m_type);
    return false;
  }
  CreateWindowExA(0, "STATIC", ScreenName(m_type), WS_CHILD | WS_VISIBLE, 16, 16, 320, 20, m_hWnd, nullptr,
                  instance, nullptr);
  CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 136, 56, 80, 26, m_hWnd,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseButton)), instance, nullptr);
  return true;
}

void CDialog::Destroy() {
  if (m_hWnd != nullptr && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
}
