#include "remover/remover_args.h"

#include <gtest/gtest.h>

#include <string>

TEST(RemoverArgs, WholeTailIsThePathAndItsFolderEndsAtTheLastSeparator) {
  struct Case {
    const char* tail;
    const char* folder;
  } cases[] = {
      {"C:\\Games\\Talvenor\\Talvenor.exe", "C:\\Games\\Talvenor\\"},
      {"C:\\My Games\\Talvenor.exe", "C:\\My Games\\"},  // spaces belong to the path
      {"C:/Games/Talvenor.exe", "C:/Games/"},
      {"Talvenor.exe", ""},
      {"", ""},
      {"\"C:\\Games\\Talvenor.exe\"", "\"C:\\Games\\"},  // quotes are taken literally
      // "\xB3\x5C" is one Big5 character whose trail byte is a backslash.
      {"C:\\\xB9\x43\xC0\xB8\\\xB3\x5C.exe", "C:\\\xB9\x43\xC0\xB8\\"},
      {"C:\\\xB3\x5C\\Talvenor.exe", "C:\\\xB3\x5C\\"},
  };
  for (const auto& c : cases) {
    RemoverArgs args;
    ASSERT_TRUE(ParseRemoverCommandLine(c.tail, &args)) << c.tail;
    EXPECT_STREQ(args.file, c.tail);
    EXPECT_STREQ(args.folder, c.folder) << c.tail;
  }
}

TEST(RemoverArgs, PathOverTheLimitIsRefusedNotCut) {
  const std::string longest = "C:\\" + std::string(252, 'f');  // 255 bytes
  RemoverArgs args;
  ASSERT_TRUE(ParseRemoverCommandLine(longest.c_str(), &args));
  EXPECT_EQ(std::string(args.file), longest);
  EXPECT_STREQ(args.folder, "C:\\");

  const std::string tooLong = longest + "x";
  EXPECT_FALSE(ParseRemoverCommandLine(tooLong.c_str(), &args));
  EXPECT_STREQ(args.file, "");
  EXPECT_STREQ(args.folder, "");
}
