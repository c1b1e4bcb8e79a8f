#include "tests/support/ui_driver.h"

#include "launcher/core/windows_api.h"

#include <vector>

#include "tests/support/win_test_util.h"

namespace {

constexpr UINT kAnswerMs = 5000;  // a window that does not answer a text request in this long is hung

struct Search {
  const UiQuery* query;
  bool (*accept)(HWND) = nullptr;  // a further test, when set
  HWND found = nullptr;
};

bool Matches(HWND window, const UiQuery& query) {
  if (!IsWindowVisible(window)) return false;
  if (query.processId != 0) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != query.processId) return false;
  }
  if (!query.className.empty()) {
    char name[256];
    if (GetClassNameA(window, name, sizeof(name)) == 0 || query.className != name) return false;
  }
  if (!query.title.empty() && ui::Text(window) != query.title) return false;
  return query.withControl == 0 || GetDlgItem(window, query.withControl) != nullptr;
}

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  if (!Matches(window, *search->query)) return TRUE;
  if (search->accept != nullptr && !search->accept(window)) return TRUE;
  search->found = window;
  return FALSE;
}

UiWindow Find(const UiQuery& query, bool (*accept)(HWND), std::uint32_t timeoutMs) {
  Search search{&query, accept};
  WaitUntil(
      [&] {
        search.found = nullptr;
        EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

bool IsMessageBox(HWND window) {
  return GetDlgItem(window, 1034) != nullptr && GetDlgItem(window, 1015) == nullptr &&
         (GetDlgItem(window, 1) != nullptr || GetDlgItem(window, 6) != nullptr);
}

}  // namespace

namespace ui {

UiWindow WaitForWindow(const UiQuery& query, std::uint32_t timeoutMs) { return Find(query, nullptr, timeoutMs); }

bool WaitForWindowGone(UiWindow window, std::uint32_t timeoutMs) {
  return WaitUntil([&] { return !IsWindow(window); }, timeoutMs);
}

UiWindow Control(UiWindow window, int id) { return window != nullptr ? GetDlgItem(window, id) : nullptr; }

std::string Text(UiWindow window) {
  if (window == nullptr) return "";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length)) return "";
  std::vector<char> text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           kAnswerMs, &copied)) {
    return "";
  }
  return std::string(text.data(), copied < text.size() ? copied : text.size() - 1);
}

std::string Text(UiWindow window, int id) { return Text(Control(window, id)); }

bool IsEnabled(UiWindow window, int id) {
  HWND control = Control(window, id);
  return control != nullptr && IsWindowEnabled(control);
}

bool IsVisible(UiWindow window, int id) {
  HWND control = Control(window, id);
  return control != nullptr && IsWindowVisible(control);
}

bool Click(UiWindow window, int id) {
  HWND control = Control(window, id);
  if (control == nullptr || !IsWindowEnabled(control) || !IsWindowVisible(control)) return false;
  return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control)) != 0;
}

bool Close(UiWindow window) { return window != nullptr && PostMessageA(window, WM_CLOSE, 0, 0) != 0; }

UiWindow WaitForMessageBox(std::uint32_t processId, std::uint32_t timeoutMs) {
  UiQuery query;
  query.className = "#32770";
  query.processId = processId;
  query.withControl = 1034;
  return Find(query, &IsMessageBox, timeoutMs);
}

std::string MessageBoxText(UiWindow box) { return Text(box, 1034); }

bool AnswerMessageBox(UiWindow box, int button) { return Click(box, button); }

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace ui
