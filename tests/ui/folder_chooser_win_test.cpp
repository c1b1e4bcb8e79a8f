// The folder chooser under Wine: the tree of the fixed drives (Wine's C: is one) on a small
// folder layout in a scratch folder, the name dialog of a new folder, and the chooser as a
// whole. A modal window runs on the test's thread while a second thread plays the user.
#include "launcher/core/windows_api.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher/app/launcher_app.h"
#include "launcher/ui/folder_chooser.h"
#include "tests/support/scoped_launcher.h"
#include "tests/support/screen_capture.h"
#include "tests/support/ui_driver.h"

namespace {

using Names = std::vector<std::string>;

HTREEITEM Next(HWND tree, UINT relation, HTREEITEM item = nullptr) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

std::string ItemText(HWND tree, HTREEITEM item) {
  char text[kMaxPath] = {};
  TVITEMA query = {};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = sizeof(text);
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
  return text;
}

HTREEITEM FirstChild(HWND tree, HTREEITEM item) {
  return item == nullptr ? Next(tree, TVGN_ROOT) : Next(tree, TVGN_CHILD, item);
}

Names Children(HWND tree, HTREEITEM item) {
  Names names;
  for (HTREEITEM child = FirstChild(tree, item); child != nullptr; child = Next(tree, TVGN_NEXT, child)) {
    names.push_back(ItemText(tree, child));
  }
  return names;
}

HTREEITEM Child(HWND tree, HTREEITEM parent, const std::string& name) {
  for (HTREEITEM child = FirstChild(tree, parent); child != nullptr; child = Next(tree, TVGN_NEXT, child)) {
    if (lstrcmpiA(ItemText(tree, child).c_str(), name.c_str()) == 0) return child;
  }
  return nullptr;
}

// The item of an existing path, following the tree as it is (no listing).
HTREEITEM ItemOf(HWND tree, const std::string& path) {
  HTREEITEM item = nullptr;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      item = Child(tree, item, path.substr(start, end - start));
      if (item == nullptr) return nullptr;
    }
    start = end + 1;
  }
  return item;
}

bool SortedIgnoringCase(const Names& names) {
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (lstrcmpiA(names[i - 1].c_str(), names[i].c_str()) > 0) return false;
  }
  return true;
}

bool Same(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

bool MakeFolder(const std::string& path, DWORD attributes = 0) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) return false;
  return attributes == 0 || SetFileAttributesA(path.c_str(), attributes);
}

// The user's side of a modal window: runs on its own thread while the test's thread sits in
// the modal loop, and keeps what it saw for the test to check afterwards.
class User {
 public:
  explicit User(std::function<void()> act) : thread_(std::move(act)) {}
  ~User() {
    if (thread_.joinable()) thread_.join();
  }
  void Join() { thread_.join(); }

 private:
  std::thread thread_;
};

UiQuery DialogWith(int control) {
  UiQuery query;
  query.className = "#32770";
  query.processId = GetCurrentProcessId();
  query.withControl = control;
  return query;
}
const UiQuery kChooser = DialogWith(1011);
const UiQuery kNameDialog = DialogWith(2);  // no message box and not the chooser has a button 2

// Types into an edit as the user would: the dialog hears the change notification.
void Type(UiWindow dialog, int edit, const std::string& text) {
  SetWindowTextA(ui::Control(dialog, edit), text.c_str());
}

// A scratch layout under C:, and a bare tree in a window of the test's own.
class FolderTreeTest : public ::testing::Test {
 protected:
  FolderTreeTest() {
    UseLauncherMessages();
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    owner_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 320, 400, nullptr, nullptr, nullptr,
                             nullptr);
    const DWORD style = WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT;
    tree_ = CreateWindowExA(0, WC_TREEVIEWA, "", style, 0, 0, 320, 400, owner_, nullptr, nullptr, nullptr);
  }
  ~FolderTreeTest() override {
    DestroyWindow(owner_);
    ui::PumpMessages();
    launcher_.mgr.SetMessageHook(nullptr, nullptr);
  }
  void SetUp() override {
    ASSERT_TRUE(tree_ != nullptr);
    ASSERT_EQ(root_.path().compare(0, 3, "C:\\"), 0) << root_.path();
    ASSERT_TRUE(MakeFolder(root_ / "gamma") && MakeFolder(root_ / "gamma\\inner") &&
                MakeFolder(root_ / "gamma\\inner\\deep") && MakeFolder(root_ / "alpha") &&
                MakeFolder(root_ / "Beta", FILE_ATTRIBUTE_HIDDEN) && MakeFolder(root_ / "sys", FILE_ATTRIBUTE_SYSTEM) &&
                WriteFileBytes(root_ / "file.txt", "x"));
    ASSERT_NE(GetFileAttributesA((root_ / "sys").c_str()) & FILE_ATTRIBUTE_SYSTEM, 0u);
  }
  std::string Selected(const FolderTree& tree) {
    char path[kMaxPath] = "untouched";
    tree.GetSelectedPath(path, sizeof(path));
    return path;
  }
  HTREEITEM SelectedItem() { return Next(tree_, TVGN_CARET); }

  ScopedLauncher launcher_;
  ScopedTempDir root_;
  HWND owner_ = nullptr;
  HWND tree_ = nullptr;
};

TEST_F(FolderTreeTest, EveryFixedDriveStartsWithItsFirstLevelFoldersSorted) {
  FolderTree tree(tree_);
  const Names drives = Children(tree_, nullptr);
  ASSERT_FALSE(drives.empty());
  EXPECT_TRUE(SortedIgnoringCase(drives));
  for (const std::string& drive : drives) {
    EXPECT_EQ(GetDriveTypeA((drive + "\\").c_str()), static_cast<UINT>(DRIVE_FIXED)) << drive;
  }
  HTREEITEM c = Child(tree_, nullptr, "C:");
  ASSERT_NE(c, nullptr);
  const Names folders = Children(tree_, c);
  EXPECT_TRUE(SortedIgnoringCase(folders));
  EXPECT_NE(Child(tree_, c, "windows"), nullptr);
  // Listed, not yet probed: no first-level folder has an expand button before C: is opened.
  for (HTREEITEM f = FirstChild(tree_, c); f != nullptr; f = Next(tree_, TVGN_NEXT, f)) {
    EXPECT_EQ(FirstChild(tree_, f), nullptr) << ItemText(tree_, f);
  }
  EXPECT_EQ(SelectedItem(), nullptr);
  EXPECT_FALSE(tree.GetSelectedPath(nullptr, 0));
  EXPECT_EQ(Selected(tree), "");
}

TEST_F(FolderTreeTest, SelectPathListsTheWayAndAddsTheMissingTarget) {
  FolderTree tree(tree_);
  tree.SelectPath((root_ / "Talvenor\\").c_str());
  EXPECT_TRUE(Same(Selected(tree), root_ / "Talvenor")) << Selected(tree);
  EXPECT_EQ(ItemText(tree_, SelectedItem()), "Talvenor");
  EXPECT_FALSE(PathExists(root_ / "Talvenor"));  // only an item until the page creates it

  HTREEITEM root = ItemOf(tree_, root_.path());
  ASSERT_NE(root, nullptr);
  // Hidden folders are shown, system ones never; the children are sorted.
  EXPECT_EQ(Children(tree_, root), (Names{"alpha", "Beta", "gamma", "Talvenor"}));
  // The walk probed them: only gamma has subfolders, shown by one placeholder.
  HTREEITEM gamma = Child(tree_, root, "gamma");
  EXPECT_EQ(Children(tree_, gamma), (Names{"//"}));
  EXPECT_EQ(Children(tree_, Child(tree_, root, "alpha")), Names{});

  // Opening gamma lists its folder and probes that one in turn; gamma stays open.
  SendMessageA(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(gamma));
  tree.Expand(gamma);
  EXPECT_EQ(Children(tree_, gamma), (Names{"inner"}));
  EXPECT_NE(SendMessageA(tree_, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(gamma), TVIS_EXPANDED) & TVIS_EXPANDED, 0);
  EXPECT_EQ(Children(tree_, Child(tree_, gamma, "inner")), (Names{"//"}));
  // Asking for a child of a folder that is not listed yet lists it first.
  HTREEITEM inner = Child(tree_, gamma, "inner");
  HTREEITEM deep = tree.FindChild(inner, "DEEP");
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(ItemText(tree_, deep), "deep");
  char path[kMaxPath];
  ASSERT_TRUE(tree.GetItemPath(deep, path, sizeof(path)));
  EXPECT_TRUE(Same(path, root_ / "gamma\\inner\\deep\\")) << path;

  // A missing folder in the middle: the deepest existing one stays selected.
  tree.SelectPath((root_ / "alpha\\missing\\x").c_str());
  EXPECT_TRUE(Same(Selected(tree), root_ / "alpha")) << Selected(tree);
  EXPECT_EQ(Children(tree_, Child(tree_, root, "alpha")), Names{});

  tree.SelectPath("C:\\");
  EXPECT_EQ(Selected(tree), "C:");
}

// New folder under the selected one: the name dialog renames the new item as the user types.
TEST_F(FolderTreeTest, NewFolderNamedInItsDialog) {
  enum Ending { Cancel, CannotCreate, Create };
  struct Case {
    Ending ending;
    const char* name;
  } cases[] = {{Cancel, "Kept Out"}, {CannotCreate, "a|b"}, {Create, "My Games"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SendMessageA(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    FolderTree tree(tree_);
    tree.SelectPath((root_ / "gamma").c_str());
    HTREEITEM gamma = SelectedItem();
    struct Seen {
      std::string first, typedEmpty, typed, box;
      bool okEnabledAtFirst = false, okEnabledEmpty = true, okEnabledTyped = false;
      bool selectedIsNew = false;
    } seen;
    User user([&] {
      UiWindow dialog = ui::WaitForWindow(kNameDialog);
      if (dialog == nullptr) return;
      HTREEITEM item = Next(tree_, TVGN_CARET);
      seen.selectedIsNew = Next(tree_, TVGN_PARENT, item) == gamma;
      seen.first = ItemText(tree_, item);
      seen.okEnabledAtFirst = ui::IsEnabled(dialog, 1);
      Type(dialog, 1015, "");
      seen.typedEmpty = ItemText(tree_, item);
      seen.okEnabledEmpty = ui::IsEnabled(dialog, 1);
      Type(dialog, 1015, c.name);
      seen.typed = ItemText(tree_, item);
      seen.okEnabledTyped = ui::IsEnabled(dialog, 1);
      ui::Click(dialog, c.ending == Cancel ? 2 : 1);
      if (c.ending != CannotCreate) return;
      UiWindow box = ui::WaitForMessageBox(GetCurrentProcessId());
      seen.box = ui::MessageBoxText(box);
      ui::AnswerMessageBox(box, 1);
    });
    char path[kMaxPath] = "untouched";
    const bool created = tree.CreateNewFolder(path, sizeof(path));
    user.Join();

    EXPECT_TRUE(seen.selectedIsNew);
    EXPECT_EQ(seen.first, "Talvenor");
    EXPECT_TRUE(seen.okEnabledAtFirst);
    EXPECT_EQ(seen.typedEmpty, "");
    EXPECT_FALSE(seen.okEnabledEmpty);
    EXPECT_EQ(seen.typed, c.name);
    EXPECT_TRUE(seen.okEnabledTyped);
    EXPECT_EQ(created, c.ending == Create);
    if (c.ending == Create) {
      EXPECT_TRUE(Same(path, root_ / "gamma\\My Games")) << path;
      EXPECT_TRUE(PathExists(root_ / "gamma\\My Games"));
      RemoveDirectoryA((root_ / "gamma\\My Games").c_str());
      continue;
    }
    char expected[kMaxPath];
    EXPECT_TRUE(launcher_.mgr.GetString(sizeof(expected), expected, 42) != nullptr);
    EXPECT_EQ(seen.box, c.ending == CannotCreate ? expected : "");
    EXPECT_STREQ(path, "untouched");
    // The temporary item is gone and the former selection is back.
    EXPECT_EQ(Children(tree_, gamma), (Names{"inner"}));
    EXPECT_EQ(SelectedItem(), gamma);
  }
}

TEST_F(FolderTreeTest, TheChooserReturnsTheSelectedOrTheNewFolder) {
  enum Ending { Ok, OpenGammaThenOk, NewFolder, Cancel };
  struct Case {
    Ending ending;
    std::string result;
  } cases[] = {{Ok, root_ / "alpha"},
               {OpenGammaThenOk, root_ / "gamma"},
               {NewFolder, root_ / "alpha\\Talvenor"},
               {Cancel, root_ / "alpha"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ending);
    std::string label, labelAfter;
    Names gammaChildren;
    User user([&] {
      UiWindow chooser = ui::WaitForWindow(kChooser);
      if (chooser == nullptr) return;
      label = ui::Text(chooser, 1015);
      if (c.ending == OpenGammaThenOk) {
        // The user picks gamma and opens it from the keyboard: the tree tells the chooser.
        HWND tree = ui::Control(chooser, 1011);
        HTREEITEM gamma = ItemOf(tree, root_ / "gamma");
        SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(gamma));
        SendMessageA(tree, WM_KEYDOWN, VK_ADD, 0);
        gammaChildren = Children(tree, gamma);
        labelAfter = ui::Text(chooser, 1015);
      }
      if (c.ending == NewFolder) {
        ui::Click(chooser, 3);
        ui::Click(ui::WaitForWindow(kNameDialog), 1);
        return;
      }
      ui::Click(chooser, c.ending == Cancel ? 1017 : 1016);
    });
    char path[kMaxPath];
    CopyString(path, (root_ / "alpha").c_str());
    const int result = ShowFolderChooser(owner_, path);
    user.Join();
    EXPECT_TRUE(Same(label, root_ / "alpha")) << label;
    EXPECT_EQ(result, c.ending == Cancel ? 0 : 1);
    EXPECT_TRUE(Same(path, c.result)) << path;
    EXPECT_EQ(PathExists(root_ / "alpha\\Talvenor"), c.ending == NewFolder);
    RemoveDirectoryA((root_ / "alpha\\Talvenor").c_str());
    if (c.ending == OpenGammaThenOk) {
      EXPECT_EQ(gammaChildren, (Names{"inner"}));
      EXPECT_TRUE(Same(labelAfter, root_ / "gamma")) << labelAfter;
    }
  }
}

// Pictures: the chooser opened on the scratch layout, and the name dialog over it.
TEST(Screens, DISABLED_FolderChooser) {
  ScopedLauncher launcher;
  ScopedTempDir root;
  for (const char* name : {"Orvex", "Orvex\\Talvenor", "Games", "Program Files"}) MakeFolder(root / name);
  bool chooserShot = false, nameShot = false;
  User user([&] {
    UiWindow chooser = ui::WaitForWindow(kChooser);
    if (chooser == nullptr) return;
    PauseMs(300);
    chooserShot = screens::WritePng(chooser, screens::ScreenOutputPath("107_folder_chooser"));
    ui::Click(chooser, 3);
    UiWindow dialog = ui::WaitForWindow(kNameDialog);
    PauseMs(300);
    nameShot = screens::WritePng(dialog, screens::ScreenOutputPath("108_new_folder"));
    ui::Click(dialog, 2);
    ui::Click(chooser, 1017);
  });
  char path[kMaxPath];
  CopyString(path, (root / "Orvex\\Talvenor").c_str());
  EXPECT_EQ(ShowFolderChooser(nullptr, path), 0);
  user.Join();
  EXPECT_TRUE(chooserShot);
  EXPECT_TRUE(nameShot);
}

}  // namespace
