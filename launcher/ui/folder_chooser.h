// The folder chooser: a modal tree of the fixed drives and their folders, filled lazily as
// the user expands it, with a button that creates a new folder through a small name dialog.
#pragma once
#include "launcher/core/windows_api.h"

#include <commctrl.h>

#include <cstddef>

#include "launcher/core/limits.h"
#include "launcher/core/win_handle.h"

// Text of the child item that stands for subfolders not listed yet.
constexpr char kFolderPlaceholder[] = "//";

// The tree of control 1011 while the chooser is open. Item paths are the item texts, each
// followed by "\" ("C:\Games\").
class FolderTree {
 public:
  // Lists every fixed drive with its first-level folders.
  explicit FolderTree(HWND tree);
  ~FolderTree();
  FolderTree(const FolderTree&) = delete;
  FolderTree& operator=(const FolderTree&) = delete;

  // A new first child of parent (TVI_ROOT for the top); path is the folder the item stands
  // for (a drive's icon comes from it). Null when the tree refused it.
  HTREEITEM InsertItem(const char* path, const char* text, HTREEITEM parent);
  // The subfolders of path (ending in "\") under parent, sorted; with probeOnly just one
  // placeholder when there is any subfolder. Hidden folders are listed, system ones not.
  void AddSubfolders(const char* path, HTREEITEM parent, bool probeOnly);
  // After item was expanded: its placeholder becomes the real subfolders, and each child
  // without children is probed, so that it shows an expand button only if it has some.
  void Expand(HTREEITEM item);
  // The child of parent called name (case ignored), listing a placeholder's folders first.
  HTREEITEM FindChild(HTREEITEM parent, const char* name);
  bool GetItemPath(HTREEITEM item, char* buffer, std::size_t size) const;
  // The selected item's path without its trailing separator (a drive gives "C:"); "" and
  // false when nothing is selected.
  bool GetSelectedPath(char* buffer, std::size_t size) const;
  // Selects the deepest folder of path the tree has, walking and expanding from the top; a
  // last component that does not exist yet is added as an item of its own.
  void SelectPath(const char* path);
  // Asks for a name (template 108) and creates that folder under the selected one; its path
  // goes to path. False, and the tree as before, when cancelled or not created.
  bool CreateNewFolder(char* path, std::size_t size);

  HWND Window() const { return m_tree; }

 private:
  HTREEITEM FirstChild(HTREEITEM item) const;
  HTREEITEM NextSibling(HTREEITEM item) const;
  HTREEITEM Parent(HTREEITEM item) const;
  bool ItemText(HTREEITEM item, char (&text)[kMaxPath]) const;
  bool IsPlaceholder(HTREEITEM item) const;
  void SortChildren(HTREEITEM parent);
  void Select(HTREEITEM item);
  int AddIcon(HICON icon);

  HWND m_tree;
  CImageList m_images;
  int m_closedIcon = -1;
  int m_openIcon = -1;
};

// Runs the chooser (template 107 of the launcher's resources) owned by owner, starting at the
// folder in path (size bytes, kMaxPath by default). 1: path holds the chosen folder; 0:
// cancelled.
int ShowFolderChooser(HWND owner, char* path, std::size_t size = kMaxPath);
