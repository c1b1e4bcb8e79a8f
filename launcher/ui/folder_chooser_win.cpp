#include "launcher/ui/folder_chooser.h"

#include <cstring>
#include <optional>

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog_items.h"
#include "launcher/ui/folder_paths.h"
#include "launcher/ui/modal_dialog.h"

namespace {

constexpr int kChooserTemplate = IDD_FOLDER_CHOOSER;
constexpr int kNameTemplate = IDD_NEW_FOLDER;
constexpr int kTreeId = IDC_FOLDER_TREE;
constexpr int kPathLabel = IDC_CHOOSER_PATH;
constexpr int kOkButton = IDC_CHOOSER_OK;
constexpr int kCancelButton = IDC_CHOOSER_CANCEL;
constexpr int kNewFolderButton = IDC_NEW_FOLDER;
constexpr int kNameEdit = IDC_NEW_FOLDER_NAME;
constexpr int kClosedFolderIcon = IDI_FOLDER;
constexpr int kOpenFolderIcon = IDI_OPEN_FOLDER;
constexpr int kImagesInitial = 50;
constexpr int kImagesGrowth = 50;
constexpr DWORD kDriveListSize = 512;
constexpr char kNewFolderName[] = "Talvenor";

HINSTANCE Resources() { return reinterpret_cast<HINSTANCE>(g_launcher.m_hInstance); }

// The name of a new folder (template 108): its edit names the tree's new item as the user
// types, and OK takes the name.
class CNewFolderDialog : public CModalDialog {
 public:
  CNewFolderDialog(char* name, HWND tree, HTREEITEM item)
      : CModalDialog(kNameTemplate), m_name(name), m_tree(tree), m_item(item) {}

 protected:
  INT_PTR OnInitDialog() override {
    SendDlgItemMessageA(Window(), kNameEdit, EM_LIMITTEXT, kMaxPath - 1, 0);
    // Setting the text notifies the edit's change: the new item is named at once.
    SetItemText(Window(), kNameEdit, m_name);
    return TRUE;
  }

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_COMMAND) return CModalDialog::HandleMessage(message, wParam, lParam);
    switch (LOWORD(wParam)) {
      case kNameEdit: {
        char text[kMaxPath] = {};
        GetItemText(Window(), kNameEdit, text, sizeof(text));
        TVITEMA item = {};
        item.mask = TVIF_TEXT;
        item.hItem = m_item;
        item.pszText = text;
        SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        EnableItem(Window(), IDOK, text[0] != '\0');
        return TRUE;
      }
      case IDOK:
        GetItemText(Window(), kNameEdit, m_name, kMaxPath);
        End(1);
        return TRUE;
      case IDCANCEL: End(0); return TRUE;
      default: return FALSE;
    }
  }

 private:
  char* m_name;  // kMaxPath bytes
  HWND m_tree;
  HTREEITEM m_item;
};

// The chooser itself (template 107): the tree of control 1011, the selected path in label
// 1015, and the caller's buffer for the answer.
class CFolderChooserDialog : public CModalDialog {
 public:
  CFolderChooserDialog(char* result, std::size_t resultSize)
      : CModalDialog(kChooserTemplate), m_result(result), m_resultSize(resultSize) {}

 protected:
  INT_PTR OnInitDialog() override {
    m_tree.emplace(FindItem(Window(), kTreeId));
    m_tree->SelectPath(m_result);
    return TRUE;
  }

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_NOTIFY: OnNotify(reinterpret_cast<const NMTREEVIEWA*>(lParam)); return FALSE;
      case WM_COMMAND: return OnCommand(LOWORD(wParam));
      default: return CModalDialog::HandleMessage(message, wParam, lParam);
    }
  }

 private:
  void OnNotify(const NMTREEVIEWA* note) {
    // The tree is filled while it is built; its notifications count once it stands.
    if (!m_tree || note->hdr.idFrom != kTreeId) return;
    if (note->hdr.code == TVN_SELCHANGEDA || note->hdr.code == TVN_SELCHANGEDW) {
      m_tree->GetSelectedPath(m_current, sizeof(m_current));
      SetItemText(Window(), kPathLabel, m_current);
    } else if ((note->hdr.code == TVN_ITEMEXPANDEDA || note->hdr.code == TVN_ITEMEXPANDEDW) &&
               (note->action & TVE_EXPAND) != 0) {
      m_tree->Expand(note->itemNew.hItem);
    }
  }

  INT_PTR OnCommand(int id) {
    if (!m_tree) return FALSE;
    char chosen[kMaxPath];
    switch (id) {
      case kOkButton:
        if (m_tree->GetSelectedPath(chosen, sizeof(chosen)) && CopyString(m_result, m_resultSize, chosen)) End(1);
        return TRUE;
      case kCancelButton:
      case IDCANCEL: End(0); return TRUE;
      case kNewFolderButton:
        if (m_tree->CreateNewFolder(chosen, sizeof(chosen)) && CopyString(m_result, m_resultSize, chosen)) End(1);
        return TRUE;
      default: return FALSE;
    }
  }

  char* m_result;
  std::size_t m_resultSize;
  std::optional<FolderTree> m_tree;
  char m_current[kMaxPath] = {};
};

}  // namespace

FolderTree::FolderTree(HWND tree) : m_tree(tree) {
  m_images.reset(ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_COLOR24,
                                  kImagesInitial, kImagesGrowth));
  if (m_images) {
    // Icons are drawn onto this colour as they are added: it must be the tree's own.
    ImageList_SetBkColor(m_images.get(), GetSysColor(COLOR_WINDOW));
    SendMessageA(m_tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(m_images.get()));
  }
  char drives[kDriveListSize] = {};
  const DWORD length = GetLogicalDriveStringsA(sizeof(drives) - 1, drives);
  if (length == 0 || length >= sizeof(drives) - 1) return;
  for (const char* root = drives; *root != '\0'; root += std::strlen(root) + 1) {
    if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
    char label[kMaxPath];
    CopyString(label, root);
    if (char* separator = std::strchr(label, '\\')) *separator = '\0';
    HTREEITEM item = InsertItem(root, label, TVI_ROOT);
    if (item != nullptr) AddSubfolders(root, item, false);
  }
  SortChildren(TVI_ROOT);
}

FolderTree::~FolderTree() {
  if (IsWindow(m_tree)) SendMessageA(m_tree, TVM_SETIMAGELIST, TVSIL_NORMAL, 0);
}

int FolderTree::AddIcon(HICON icon) {
  CIcon owned(icon);
  if (!m_images || !owned) return -1;
  return ImageList_AddIcon(m_images.get(), owned.get());
}

HTREEITEM FolderTree::InsertItem(const char* path, const char* text, HTREEITEM parent) {
  int closed = -1;
  int open = -1;
  if (std::strchr(text, ':') != nullptr) {
    SHFILEINFOA info = {};
    if (SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON)) closed = AddIcon(info.hIcon);
    info = {};
    if (SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON | SHGFI_OPENICON)) {
      open = AddIcon(info.hIcon);
    }
  } else {
    if (m_closedIcon < 0) {
      const HINSTANCE instance = Resources();
      const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
      m_closedIcon = AddIcon(static_cast<HICON>(
          LoadImageA(instance, MAKEINTRESOURCEA(kClosedFolderIcon), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
      m_openIcon = AddIcon(static_cast<HICON>(
          LoadImageA(instance, MAKEINTRESOURCEA(kOpenFolderIcon), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
    }
    closed = m_closedIcon;
    open = m_openIcon;
  }
  TVINSERTSTRUCTA insert = {};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_FIRST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<char*>(text);
  insert.item.iImage = closed;
  insert.item.iSelectedImage = open >= 0 ? open : closed;
  return reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

void FolderTree::AddSubfolders(const char* path, HTREEITEM parent, bool probeOnly) {
  char pattern[kMaxPath];
  if (!CopyString(pattern, path) || !AppendString(pattern, "*.*")) return;
  CDirectoryIterator entry(pattern);
  if (!entry.Next()) return;
  do {
    if ((entry.Entry().dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0) continue;
    if (!entry.IsFolder() || entry.IsDotEntry()) continue;
    if (probeOnly) {
      InsertItem(path, kFolderPlaceholder, parent);
      break;
    }
    char folder[kMaxPath];
    if (!CopyString(folder, path) || !AppendString(folder, entry.Name())) continue;
    InsertItem(folder, entry.Name(), parent);
  } while (entry.Next());
  SortChildren(parent);
}

void FolderTree::Expand(HTREEITEM item) {
  HTREEITEM child = FirstChild(item);
  if (child == nullptr) return;
  char path[kMaxPath];
  if (!IsPlaceholder(child)) {
    char text[kMaxPath];
    for (; child != nullptr; child = NextSibling(child)) {
      // The unnamed item of a folder being created stands for nothing on disk yet.
      if (FirstChild(child) != nullptr || !ItemText(child, text) || text[0] == '\0') continue;
      if (GetItemPath(child, path, sizeof(path))) AddSubfolders(path, child, true);
    }
    return;
  }
  // The folders come in before the placeholder goes, so the item the user has just opened
  // is never left without children (a tree may close such an item).
  if (GetItemPath(item, path, sizeof(path))) AddSubfolders(path, item, false);
  SendMessageA(m_tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child));
  Expand(item);
}

HTREEITEM FolderTree::FindChild(HTREEITEM parent, const char* name) {
  HTREEITEM child = FirstChild(parent);
  if (child != nullptr && IsPlaceholder(child)) {
    Expand(parent);
    child = FirstChild(parent);
  }
  char text[kMaxPath];
  for (; child != nullptr; child = NextSibling(child)) {
    if (ItemText(child, text) && EqualsNoCase(text, name)) return child;
  }
  return nullptr;
}

bool FolderTree::GetItemPath(HTREEITEM item, char* buffer, std::size_t size) const {
  if (buffer == nullptr || size == 0) return false;
  buffer[0] = '\0';
  if (item == nullptr || item == TVI_ROOT) return false;
  // Every level adds at least its separator, so a deeper chain could not fit a path anyway.
  HTREEITEM chain[kMaxPath];
  std::size_t depth = 0;
  for (HTREEITEM at = item; at != nullptr; at = Parent(at)) {
    if (depth == kMaxPath) return false;
    chain[depth++] = at;
  }
  char text[kMaxPath];
  while (depth > 0) {
    if (!ItemText(chain[--depth], text) || !AppendItemPath(buffer, size, text)) {
      buffer[0] = '\0';
      return false;
    }
  }
  return true;
}

bool FolderTree::GetSelectedPath(char* buffer, std::size_t size) const {
  const HTREEITEM selected =
      reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!GetItemPath(selected, buffer, size)) return false;
  RemoveOneTrailingSeparator(buffer);
  return true;
}

void FolderTree::SelectPath(const char* path) {
  PathComponents parts(path);
  char name[kMaxPath];
  char folder[kMaxPath];
  HTREEITEM current = TVI_ROOT;
  while (parts.Next(name, sizeof(name))) {
    if (current != TVI_ROOT) {
      // A folder reached by the walk may not have been listed yet: list it, probe its
      // children, and open it, as if the user had expanded it.
      if (FirstChild(current) == nullptr && GetItemPath(current, folder, sizeof(folder))) {
        AddSubfolders(folder, current, false);
      }
      Expand(current);
      SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(current));
    }
    HTREEITEM found = FindChild(current, name);
    if (found == nullptr) {
      // Only the target itself may be missing (the folder the page is about to create);
      // after a missing middle folder the deepest existing one stays selected.
      if (!parts.AtEnd()) return;
      if (current != TVI_ROOT && !GetItemPath(current, folder, sizeof(folder))) return;
      if (current == TVI_ROOT) folder[0] = '\0';
      if (!AppendString(folder, name)) return;
      found = InsertItem(folder, name, current);
      if (found == nullptr) return;
      SortChildren(current);
    }
    Select(found);
    current = found;
  }
}

bool FolderTree::CreateNewFolder(char* path, std::size_t size) {
  const HTREEITEM former = reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (former == nullptr || path == nullptr || size == 0) return false;
  char name[kMaxPath];
  CopyString(name, kNewFolderName);
  HTREEITEM first = FirstChild(former);
  if (first != nullptr && IsPlaceholder(first)) Expand(former);
  const HTREEITEM item = InsertItem("", "", former);
  if (item == nullptr) return false;
  Select(item);
  CNewFolderDialog dialog(name, m_tree, item);
  const INT_PTR answer = dialog.Run(GetParent(m_tree));
  if (answer == 1 && name[0] != '\0') {
    char target[kMaxPath];
    // An existing file of that name counts as created for CreateDirectories, but is no folder.
    if (GetItemPath(former, target, sizeof(target)) && AppendString(target, name) &&
        CreateDirectories(target, false) && IsFolder(target) && CopyString(path, size, target)) {
      return true;
    }
    g_launcher.ShowMessage(0, IDS_FOLDER_NOT_CREATED, kMessageInfo);
  }
  SendMessageA(m_tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
  Select(former);
  return false;
}

HTREEITEM FolderTree::FirstChild(HTREEITEM item) const {
  if (item == nullptr || item == TVI_ROOT) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  }
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM FolderTree::NextSibling(HTREEITEM item) const {
  return reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM FolderTree::Parent(HTREEITEM item) const {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

bool FolderTree::ItemText(HTREEITEM item, char (&text)[kMaxPath]) const {
  text[0] = '\0';
  TVITEMA query = {};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = static_cast<int>(sizeof(text));
  return SendMessageA(m_tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)) != FALSE;
}

bool FolderTree::IsPlaceholder(HTREEITEM item) const {
  char text[kMaxPath];
  return ItemText(item, text) && std::strcmp(text, kFolderPlaceholder) == 0;
}

void FolderTree::SortChildren(HTREEITEM parent) {
  SendMessageA(m_tree, TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(parent));
}

void FolderTree::Select(HTREEITEM item) {
  SendMessageA(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

int ShowFolderChooser(HWND owner, char* path, std::size_t size) {
  if (path == nullptr || size == 0) return 0;
  // The template's tree is a common control; its class must be registered first.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  CFolderChooserDialog chooser(path, size);
  const INT_PTR result = chooser.Run(owner);
  if (result == -1) {
    g_launcher.Log("ShowFolderChooser() : DialogBox() failed (%lu).", GetLastError());
    return 0;
  }
  return result == 1 ? 1 : 0;
}
