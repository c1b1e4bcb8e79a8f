// Drives the launcher's windows from outside, through window messages only: no screen
// coordinates and no simulated input, so it works under any window manager or none. Works
// on the windows of another process (Talvenor.exe started by the test) as on the test's own
// (a screen run on another thread of the test program).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct HWND__;
using UiWindow = HWND__*;
struct _TREEITEM;
using UiTreeItem = _TREEITEM*;

struct UiQuery {
  std::string className;     // "" = any ("#32770" for dialogs)
  std::string title;         // "" = any; else the exact window title
  std::uint32_t processId = 0;  // 0 = any process
  int withControl = 0;       // 0 = any; else the window must have a child with this id
};

namespace ui {

// A launcher screen of one process: a dialog that has the given control.
inline UiQuery ScreenOf(std::uint32_t processId, int control) {
  UiQuery query;
  query.className = "#32770";
  query.processId = processId;
  query.withControl = control;
  return query;
}

// A visible top-level window that matches, or null when none came within timeoutMs.
UiWindow WaitForWindow(const UiQuery& query, std::uint32_t timeoutMs = 20000);
// True when the window is gone (destroyed) within timeoutMs.
bool WaitForWindowGone(UiWindow window, std::uint32_t timeoutMs = 20000);

UiWindow Control(UiWindow window, int id);  // null when the window has no such child
// The control's text in the system code page (WM_GETTEXT, marshalled by the system).
std::string Text(UiWindow window, int id);
std::string Text(UiWindow window);
bool IsEnabled(UiWindow window, int id);
bool IsVisible(UiWindow window, int id);

// Clicks a button as the user would: the parent gets the button's click notification. False
// (nothing sent) when there is no such control or it is disabled or hidden. Posted, so the
// call returns at once even when the click opens a modal box.
bool Click(UiWindow window, int id);
// Asks the window to close (WM_CLOSE), as the close box of its frame would.
bool Close(UiWindow window);

// The launcher's message box (templates 114 and 115): a dialog with text item 1034 and an
// OK (1) or yes (6) button.
UiWindow WaitForMessageBox(std::uint32_t processId = 0, std::uint32_t timeoutMs = 20000);
std::string MessageBoxText(UiWindow box);
// Clicks button 1 (OK), 6 (yes) or 7 (no) of the box.
bool AnswerMessageBox(UiWindow box, int button);

// The tree view `tree` of a window, in any process. The tree's item messages that carry
// pointers are not marshalled between processes: the item text is read through a buffer in
// the window's own process. Selecting and expanding send what a click would make the tree
// send its parent (selection changed; item expanded, the first time an item is opened).
// The items under parent (null: the top level), in the tree's order.
std::vector<UiTreeItem> TreeChildren(UiWindow window, int tree, UiTreeItem parent = nullptr);
std::vector<std::string> TreeChildTexts(UiWindow window, int tree, UiTreeItem parent = nullptr);
std::string TreeItemText(UiWindow window, int tree, UiTreeItem item);
// The child of parent with this text (ignoring case), or null.
UiTreeItem TreeChild(UiWindow window, int tree, UiTreeItem parent, const std::string& text);
UiTreeItem TreeSelection(UiWindow window, int tree);
bool TreeSelect(UiWindow window, int tree, UiTreeItem item);
bool TreeExpand(UiWindow window, int tree, UiTreeItem item);

// Handles the messages waiting for the calling thread's windows (a quit message is dropped):
// a test that runs a screen on its own thread calls this while it waits.
void PumpMessages();
// Pumps the calling thread's messages until done() is true; false when timeoutMs passed first.
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs = 20000);

}  // namespace ui
