#include "launcher/core/file_system.h"

#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/core/limits.h"
#include "tests/support/win_test_util.h"

TEST(FileSystem, CreateDirectoriesBuildsTheChainAndCanReplace) {
  ScopedTempDir dir;
  const std::string deep = dir / "a\\b\\c";
  EXPECT_TRUE(CreateDirectories(deep.c_str(), false));
  EXPECT_TRUE(FileExists(deep.c_str()));
  ASSERT_TRUE(WriteFileBytes(deep + "\\keep.txt", "x"));
  EXPECT_TRUE(CreateDirectories(deep.c_str(), false));  // existing: nothing changes
  EXPECT_TRUE(FileExists((deep + "\\keep.txt").c_str()));
  EXPECT_TRUE(CreateDirectories(deep.c_str(), true));  // replaced: empty again
  EXPECT_TRUE(FileExists(deep.c_str()));
  EXPECT_FALSE(FileExists((deep + "\\keep.txt").c_str()));
  EXPECT_TRUE(CreateDirectories("", false));
  EXPECT_FALSE(CreateDirectories(nullptr, false));
  EXPECT_FALSE(FileExists(nullptr));
}

TEST(FileSystem, ClearReadOnlyKeepsTheOtherAttributes) {
  ScopedTempDir dir;
  const std::string file = dir / "f.txt";
  ASSERT_TRUE(WriteFileBytes(file, "x"));
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ClearReadOnly(file.c_str());
  const DWORD attributes = GetFileAttributesA(file.c_str());
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  ClearReadOnly(nullptr);
}

TEST(FileSystem, CreateShellLinkWritesAShortcut) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ScopedTempDir dir;
  const std::string target = dir / "game.exe";
  ASSERT_TRUE(WriteFileBytes(target, "MZ"));
  const std::string link = dir / "game.lnk";
  EXPECT_EQ(CreateShellLink(target.c_str(), link.c_str(), 0, nullptr, "run the game", "/x", dir.path().c_str()), 0);
  std::string bytes = ReadFileOr(link);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x4Cu);  // shell link header size
  CoUninitialize();
}

TEST(FileSystem, DirectoryIteratorListsEveryEntryOnce) {
  ScopedTempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir / "a.txt", "x"));
  ASSERT_TRUE(WriteFileBytes(dir / "b.bin", "y"));
  ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));
  std::vector<std::string> files, folders;
  int dots = 0;
  const std::string all = dir / "*";
  for (CDirectoryIterator entry(all.c_str()); entry.Next();) {
    if (entry.IsDotEntry()) {
      ++dots;
    } else {
      (entry.IsFolder() ? folders : files).push_back(entry.Name());
    }
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"a.txt", "b.bin"}));
  EXPECT_EQ(folders, std::vector<std::string>{"sub"});
  EXPECT_EQ(dots, 2);

  const std::string some = dir / "*.txt";
  CDirectoryIterator matching(some.c_str());
  ASSERT_TRUE(matching.Next());
  EXPECT_STREQ(matching.Name(), "a.txt");
  EXPECT_FALSE(matching.Next());
  EXPECT_FALSE(matching.Next());  // stays at the end

  const std::string none = dir / "missing\\*";
  CDirectoryIterator missing(none.c_str());
  EXPECT_FALSE(missing.Next());
}

TEST(FileSystem, FoldersAndTheModulePath) {
  ScopedTempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir / "f.txt", "x"));
  EXPECT_TRUE(IsFolder(dir.path().c_str()));
  EXPECT_FALSE(IsFolder((dir / "f.txt").c_str()));
  EXPECT_FALSE(IsFolder((dir / "none").c_str()));
  EXPECT_FALSE(IsFolder(nullptr));

  char module[kMaxPath];
  ASSERT_TRUE(GetModulePath(module));
  EXPECT_TRUE(FileExists(module));
  char tooSmall[4] = "abc";
  EXPECT_FALSE(GetModulePath(tooSmall));
  EXPECT_STREQ(tooSmall, "");
}
