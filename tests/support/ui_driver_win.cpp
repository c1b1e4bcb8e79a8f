#include "tests/support/ui_driver.h"

#include "launcher/core/windows_api.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "launcher/core/limits.h"
#include "launcher/core/win_handle.h"

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

// Memory in the process of a window, released with the owner. Messages whose parameter
// points to memory the system does not copy between processes point here instead.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, SIZE_T size) {
    DWORD pid = 0;
    if (GetWindowThreadProcessId(window, &pid) == 0) return;
    process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (process_) address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  explicit operator bool() const { return address_ != nullptr; }
  char* At(SIZE_T offset) const { return static_cast<char*>(address_) + offset; }
  bool Write(SIZE_T offset, const void* data, SIZE_T size) const {
    SIZE_T done = 0;
    return WriteProcessMemory(process_.get(), At(offset), data, size, &done) && done == size;
  }
  bool Read(SIZE_T offset, void* data, SIZE_T size) const {
    SIZE_T done = 0;
    return ReadProcessMemory(process_.get(), At(offset), data, size, &done) && done == size;
  }

 private:
  CKernelHandle process_;
  void* address_ = nullptr;
};

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr) {
  DWORD_PTR answer = 0;
  if (window == nullptr ||
      !SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, &answer)) {
    return false;
  }
  if (result != nullptr) *result = static_cast<LRESULT>(answer);
  return true;
}

HTREEITEM NextItem(HWND tree, UINT relation, HTREEITEM item) {
  LRESULT next = 0;
  return Send(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item), &next)
             ? reinterpret_cast<HTREEITEM>(next)
             : nullptr;
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

std::vector<UiTreeItem> TreeChildren(UiWindow window, int tree, UiTreeItem parent) {
  HWND control = Control(window, tree);
  std::vector<UiTreeItem> items;
  if (control == nullptr) return items;
  for (HTREEITEM item = parent == nullptr ? NextItem(control, TVGN_ROOT, nullptr)
                                          : NextItem(control, TVGN_CHILD, parent);
       item != nullptr; item = NextItem(control, TVGN_NEXT, item)) {
    items.push_back(item);
  }
  return items;
}

std::vector<std::string> TreeChildTexts(UiWindow window, int tree, UiTreeItem parent) {
  std::vector<std::string> texts;
  for (UiTreeItem item : TreeChildren(window, tree, parent)) texts.push_back(TreeItemText(window, tree, item));
  return texts;
}

std::string TreeItemText(UiWindow window, int tree, UiTreeItem item) {
  HWND control = Control(window, tree);
  if (control == nullptr || item == nullptr) return "";
  // The item's description and its text buffer, side by side in the tree's process.
  RemoteBuffer remote(control, sizeof(TVITEMA) + kMaxPath);
  if (!remote) return "";
  TVITEMA query = {};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = remote.At(sizeof(TVITEMA));
  query.cchTextMax = static_cast<int>(kMaxPath);
  const char empty = '\0';
  LRESULT found = FALSE;
  if (!remote.Write(0, &query, sizeof(query)) || !remote.Write(sizeof(TVITEMA), &empty, 1) ||
      !Send(control, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.At(0)), &found) || !found) {
    return "";
  }
  char text[kMaxPath] = {};
  if (!remote.Read(sizeof(TVITEMA), text, sizeof(text) - 1)) return "";
  return text;
}

UiTreeItem TreeChild(UiWindow window, int tree, UiTreeItem parent, const std::string& text) {
  for (UiTreeItem item : TreeChildren(window, tree, parent)) {
    if (lstrcmpiA(TreeItemText(window, tree, item).c_str(), text.c_str()) == 0) return item;
  }
  return nullptr;
}

UiTreeItem TreeSelection(UiWindow window, int tree) { return NextItem(Control(window, tree), TVGN_CARET, nullptr); }

bool TreeSelect(UiWindow window, int tree, UiTreeItem item) {
  LRESULT done = FALSE;
  return item != nullptr &&
         Send(Control(window, tree), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item), &done) && done;
}

bool TreeExpand(UiWindow window, int tree, UiTreeItem item) {
  LRESULT done = FALSE;
  return item != nullptr &&
         Send(Control(window, tree), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item), &done) && done;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
  return WaitUntil(
      [&] {
        PumpMessages();
        return done();
      },
      timeoutMs);
}

}  // namespace ui
