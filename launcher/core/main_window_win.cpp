// The hidden main window, dialogs by type, the message box and the resource accessors.
#include "launcher/core/windows_api.h"

#include <cstring>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/ui/dialog.h"

namespace {

constexpr char kMainWindowClass[] = "pinfox_launcher";
constexpr int kQuestionTemplate = 114;
constexpr int kInfoTemplate = 115;
constexpr int kTextItem = 1034;
constexpr UINT_PTR kAutoCloseTimer = 1115;
constexpr UINT kAutoCloseMs = 10000;
constexpr int kLineSpacing = 15;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
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

// Draws the text line by line: "#" centres a line (the marker is not drawn).
void DrawMessageText(const DRAWITEMSTRUCT* item) {
  char text[512];
  GetWindowTextA(item->hwndItem, text, sizeof(text));
  HDC dc = item->hDC;
  RECT area = item->rcItem;
  FillRect(dc, &area, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  int y = area.top;
  char* line = text;
  while (line != nullptr) {
    char* next = std::strchr(line, '\n');
    if (next != nullptr) *next++ = '\0';
    std::size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\r') line[--len] = '\0';
    bool centred = line[0] == '#';
    const char* shown = centred ? line + 1 : line;
    RECT row = {area.left, y, area.right, y + kLineSpacing};
    DrawTextA(dc, shown, -1, &row, (centred ? DT_CENTER : DT_LEFT) | DT_SINGLELINE | DT_NOPREFIX);
    y += kLineSpacing;
    line = next;
  }
  SelectObject(dc, oldFont);
}

// "@" marks the default button; the marker is not shown.
void StripButtonMarker(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return;
  char text[64];
  GetWindowTextA(button, text, sizeof(text));
  if (text[0] == '@') SetWindowTextA(button, text + 1);
}

INT_PTR CALLBACK MessageBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const char* text = reinterpret_cast<const char*>(lParam);
      if (text[0] == 8 || text[0] == 9) {
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ++text;
      }
      SetDlgItemTextA(dialog, kTextItem, text);
      for (int id : {1, 6, 7}) StripButtonMarker(dialog, id);
      if (GetDlgItem(dialog, 6) == nullptr) SetTimer(dialog, kAutoCloseTimer, kAutoCloseMs, nullptr);
      SetForegroundWindow(dialog);
      return TRUE;
    }
    case WM_DRAWITEM:
      if (wParam == kTextItem) {
        DrawMessageText(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == 1 || id == 6 || id == 7) EndDialog(dialog, id);
      return TRUE;
    }
    case WM_TIMER:
      if (wParam == kAutoCloseTimer) EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool CLauncherMgr::CreateMainWindow() {
  if (!m_initialized) return false;
  WNDCLASSA cls = {};
  cls.lpfnWndProc = MainWindowProc;
  cls.hInstance = m_hInstance;
  cls.hIcon = LoadIconA(m_hInstance, MAKEINTRESOURCEA(m_mode == ModePatch ? 164 : 167));
  cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
  cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  cls.lpszClassName = kMainWindowClass;
  if (RegisterClassA(&cls) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    Log("CLauncherMgr::CreateMainWindow() : fail to register window.");
    return false;
  }
  char title[kMaxPath];
  if (m_mode >= ModeInstall && m_mode <= ModeSplitInstall) {
    GetString(sizeof(title), title, 9);
  } else if (m_mode == ModeUninstall) {
    GetString(sizeof(title), title, 6);
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

CDialog* CLauncherMgr::CreateDialog(int type) {
  if (!m_initialized) return nullptr;
  CDialog* dialog = new (std::nothrow) CDialog(type);
  if (dialog == nullptr) {
    Log("CLauncherMgr::CreateDialog(%d) failed.", type);
    return nullptr;
  }
  dialog->Create();
  m_dialogs.push_back(dialog);
  return dialog;
}

void CLauncherMgr::DestroyMainWindow() {
  if (m_mainWnd != nullptr) DestroyWindow(m_mainWnd);
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
  if (m_messageHook != nullptr) return m_messageHook(stringId, text, type, m_messageHookContext);
  char copy[kMaxLogLine];
  CopyString(copy, text);
  return static_cast<int>(DialogBoxParamA(m_hInstance,
                                          MAKEINTRESOURCEA(type == kMessageQuestion ? kQuestionTemplate : kInfoTemplate),
                                          m_mainWnd, MessageBoxProc, reinterpret_cast<LPARAM>(copy)));
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
  ShowMessage(0, 47, kMessageInfo);
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
  GetString(sizeof(text), text, 4);
  CFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}
