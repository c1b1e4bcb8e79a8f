// The hidden main window, the message texts and the resource accessors. The dialogs and the
// message box itself are drawn by the floors above: the screens are made through the screen
// hooks and the message box is shown through the message hook.
#include "launcher/core/windows_api.h"

#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

namespace {

constexpr char kMainWindowClass[] = "pinfox_launcher";
// Asks the main window's own thread to destroy it: only the thread that made a window can.
constexpr UINT kDestroyRequest = WM_APP + 1;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kDestroyRequest:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      if (g_launcher.m_mainWnd == hwnd) g_launcher.m_mainWnd = nullptr;
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:  // the main window cannot be closed from the system menu or task bar
    case WM_ERASEBKGND:
      return 0;
    case WM_ACTIVATE:
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace

bool CLauncherMgr::CreateMainWindow() {
  if (!m_initialized) return false;
  WNDCLASSA cls = {};
  cls.lpfnWndProc = MainWindowProc;
  cls.hInstance = m_hInstance;
  cls.hIcon = LoadIconA(m_hInstance, MAKEINTRESOURCEA(m_mode == ModePatch ? IDI_LAUNCHER : IDI_INSTALLER));
  cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
  cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  cls.lpszClassName = kMainWindowClass;
  if (RegisterClassA(&cls) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    Log("CLauncherMgr::CreateMainWindow() : fail to register window.");
    return false;
  }
  char title[kMaxPath];
  if (m_mode >= ModeInstall && m_mode <= ModeSplitInstall) {
    GetString(sizeof(title), title, IDS_INSTALL_TITLE);
  } else if (m_mode == ModeUninstall) {
    GetString(sizeof(title), title, IDS_UNINSTALL_TITLE);
  } else {
    CopyString(title, m_title);
  }
  m_mainWnd = CreateWindowExA(0, kMainWindowClass, title, WS_POPUP | WS_SYSMENU, 0, 0, 800, 600, nullptr,
                              nullptr, m_hInstance, nullptr);
  if (m_mainWnd == nullptr) {
    Log("CLauncherMgr::CreateMainWindow() : fail to create window.h");
    return false;
  }
  return true;
}

void CLauncherMgr::DestroyMainWindow() {
  if (m_mainWnd == nullptr) return;
  // A worker that ends the launcher (message 47) is not the window's thread: its
  // DestroyWindow would fail, and the launcher would wait on forever behind a black window.
  if (GetWindowThreadProcessId(m_mainWnd, nullptr) != GetCurrentThreadId()) {
    PostMessageA(m_mainWnd, kDestroyRequest, 0, 0);
    return;
  }
  DestroyWindow(m_mainWnd);
  m_mainWnd = nullptr;
}

void CLauncherMgr::MinimizeMainWindow() {
  if (!m_initialized || m_mainWnd == nullptr) return;
  ShowWindow(m_mainWnd, SW_MINIMIZE);
}

int CLauncherMgr::MessageBox(const char* text, int type) { return ShowMessageBox(0, text, type); }

int CLauncherMgr::ShowMessageBox(int stringId, const char* text, int type) {
  if (!m_initialized) return 0;
  if (text == nullptr) text = "";
  Log("MessageBox() : %s", text);
  if (m_messageHook == nullptr) return 0;  // nothing to show it with: as if it closed itself
  char copy[kMaxLogLine];
  CopyString(copy, text);
  return m_messageHook(stringId, copy, type, m_messageHookContext);
}

int CLauncherMgr::ShowMessage(int code, int stringId, int type) {
  if (!m_initialized) return 0;
  char text[kMaxLogLine];
  GetString(sizeof(text), text, stringId);
  if (code != 0) {
    char withCode[kMaxLogLine];
    FormatString(withCode, sizeof(withCode), "%s(%d)", text, code);
    return ShowMessageBox(stringId, withCode, type);
  }
  return ShowMessageBox(stringId, text, type);
}

void CLauncherMgr::ShowRunError() {
  ShowMessage(0, IDS_RUN_PROBLEM, kMessageInfo);
  DestroyMainWindow();
}

char* CLauncherMgr::GetString(std::size_t size, char* buffer, int id) {
  static char empty[1] = "";
  if (buffer == nullptr || size == 0) return empty;
  buffer[0] = '\0';
  if (!m_initialized) return buffer;
  if (LoadStringA(m_hInstance, static_cast<UINT>(id), buffer, static_cast<int>(size)) <= 0) {
    buffer[0] = '\0';
    Log("CLauncherMgr::GetString() : LoadString(%d) failed.", id);
  }
  return buffer;
}

void* CLauncherMgr::LoadBitmap(int id) {
  if (!m_initialized) return nullptr;
  return LoadBitmapA(m_hInstance, MAKEINTRESOURCEA(id));
}

const void* CLauncherMgr::LoadBinResource(int id, std::uint32_t* size) {
  if (size != nullptr) *size = 0;
  if (!m_initialized) return nullptr;
  HRSRC resource = FindResourceA(m_hInstance, MAKEINTRESOURCEA(id), "BIN");
  if (resource == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(m_hInstance, resource);
  if (loaded == nullptr) return nullptr;
  if (size != nullptr) *size = SizeofResource(m_hInstance, resource);
  return LockResource(loaded);
}

void CLauncherMgr::OpenWebPage(const char* address) {
  if (!m_initialized || address == nullptr) return;
  ShellExecuteA(m_mainWnd, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

void CLauncherMgr::WriteReadme(const char* folder) {
  if (!m_initialized) return;
  char path[kMaxPath];
  if (!JoinPath("README.txt", path, folder)) return;
  char text[2048];
  GetString(sizeof(text), text, IDS_TEMP_FOLDER_README);
  CFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}
