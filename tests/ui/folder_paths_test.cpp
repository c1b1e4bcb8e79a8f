#include "launcher/ui/folder_paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/core/limits.h"

TEST(FolderPaths, DefaultInstallFolder) {
  struct Case {
    int versionClass;
    const char* systemDir;
    const char* programFiles;
    const char* expected;
  } cases[] = {
      {7, "C:\\windows\\system32", "C:\\Program Files", "C:\\Orvex\\Talvenor"},
      {7, "D:\\WINNT\\system32", nullptr, "D:\\Orvex\\Talvenor"},
      {7, "nowhere", nullptr, "C:\\Orvex\\Talvenor"},
      {6, "C:\\windows\\system32", "E:\\Programme", "E:\\Programme\\Talvenor"},
      {0, "D:\\windows\\system32", nullptr, "D:\\Program Files\\Talvenor"},
      {6, "D:", nullptr, "D:Program Files\\Talvenor"},
      {6, "D:xyz", nullptr, "D:xProgram Files\\Talvenor"},
  };
  for (const auto& c : cases) {
    char out[kMaxPath] = "untouched";
    EXPECT_TRUE(DefaultInstallFolder(c.versionClass, c.systemDir, c.programFiles, out, sizeof(out)));
    EXPECT_STREQ(out, c.expected) << c.versionClass << " " << c.systemDir;
  }
}

TEST(FolderPaths, SystemDriveRootStopsAtTheFirstSeparatorOfAWholeCharacter) {
  char out[kMaxPath];
  EXPECT_TRUE(SystemDriveRoot("C:\\windows\\system32", out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\");
  // 許 is B3 5C in Big5: its trail byte is not a separator.
  EXPECT_TRUE(SystemDriveRoot("\xB3\x5C/x", out, sizeof(out)));
  EXPECT_STREQ(out, "\xB3\x5C/");
  EXPECT_FALSE(SystemDriveRoot("C:", out, sizeof(out)));
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(SystemDriveRoot("C:\\x", out, 3));  // "C:\" needs 4 bytes
}

TEST(FolderPaths, ItemPathsAndTheChosenFolder) {
  char path[kMaxPath] = "";
  EXPECT_TRUE(AppendItemPath(path, sizeof(path), "C:"));
  EXPECT_STREQ(path, "C:\\");
  EXPECT_TRUE(AppendItemPath(path, sizeof(path), "Games"));
  EXPECT_STREQ(path, "C:\\Games\\");
  EXPECT_TRUE(AppendItemPath(path, sizeof(path), "\xB3\x5C"));  // ends in a trail byte 5C
  EXPECT_STREQ(path, "C:\\Games\\\xB3\x5C\\");
  RemoveOneTrailingSeparator(path);
  EXPECT_STREQ(path, "C:\\Games\\\xB3\x5C");
  RemoveOneTrailingSeparator(path);  // nothing to remove: the 5C belongs to the character
  EXPECT_STREQ(path, "C:\\Games\\\xB3\x5C");

  char drive[] = "C:\\";
  RemoveOneTrailingSeparator(drive);
  EXPECT_STREQ(drive, "C:");
  char twice[] = "C:\\a//";
  RemoveOneTrailingSeparator(twice);
  EXPECT_STREQ(twice, "C:\\a/");

  char small[6] = "C:\\";
  EXPECT_FALSE(AppendItemPath(small, sizeof(small), "ab"));  // "C:\ab\" needs 7 bytes
  EXPECT_STREQ(small, "");
}

TEST(FolderPaths, PathComponents) {
  PathComponents parts("C:\\Orvex//\xB3\x5C" "x\\Talvenor\\");
  std::vector<std::string> seen;
  char part[kMaxPath];
  std::vector<bool> last;
  while (parts.Next(part, sizeof(part))) {
    seen.push_back(part);
    last.push_back(parts.AtEnd());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"C:", "Orvex", "\xB3\x5Cx", "Talvenor"}));
  EXPECT_EQ(last, (std::vector<bool>{false, false, false, true}));
  PathComponents empty("\\/");
  EXPECT_TRUE(empty.AtEnd());
  EXPECT_FALSE(empty.Next(part, sizeof(part)));
}

TEST(FolderPaths, AbsoluteFolderPaths) {
  for (const char* path : {"C:\\Games", "d:/x", "\\\\server\\share"}) EXPECT_TRUE(IsAbsoluteFolderPath(path)) << path;
  for (const char* path : {"Games\\x", "C:Games", "\\Games", "\\\\\\x", "1:\\x", ""}) {
    EXPECT_FALSE(IsAbsoluteFolderPath(path)) << path;
  }
}
