#include "launcher/core/file_system.h"

#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

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
