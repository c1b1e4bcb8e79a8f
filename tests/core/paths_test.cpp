#include "launcher/core/paths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "launcher/core/text.h"

TEST(Paths, JoinPath) {
  struct Case {
    const char* name;
    const char* folder;
    const char* joined;
  } cases[] = {
      {"\\x", "C:\\d", "C:\\d\\x"},
      {"x", "C:/d/", "C:/d/x"},
      {"x", "", "\\x"},
      {"/x", "C:\\d\\", "C:\\d\\x"},
      {"\\\\x", "C:\\d", "C:\\d\\\\x"},  // only one leading separator is dropped
      {"", "C:\\d", "C:\\d\\"},
  };
  for (const auto& c : cases) {
    char out[kMaxPath] = "untouched";
    EXPECT_TRUE(JoinPath(c.name, out, c.folder)) << c.name << " in " << c.folder;
    EXPECT_STREQ(out, c.joined) << c.name << " in " << c.folder;
  }
}

TEST(Paths, JoinPathNullArgumentsChangeNothing) {
  char out[kMaxPath] = "untouched";
  EXPECT_FALSE(JoinPath(nullptr, out, "C:\\d"));
  EXPECT_FALSE(JoinPath("x", out, nullptr));
  EXPECT_STREQ(out, "untouched");
  EXPECT_FALSE(JoinPath("x", nullptr, "C:\\d", 10));
}

TEST(Paths, JoinPathRefusesWhatDoesNotFit) {
  std::string folder(249, 'f');
  char out[kMaxPath] = "untouched";
  EXPECT_TRUE(JoinPath("123456789", out, folder.c_str()));  // 249 + 1 + 9: exactly 259
  EXPECT_EQ(std::string(out), folder + "\\123456789");
  EXPECT_FALSE(JoinPath("1234567890", out, folder.c_str()));
  EXPECT_STREQ(out, "");
  std::string huge(5000, 'h');  // beyond the join buffer
  char big[8192];
  EXPECT_FALSE(JoinPath("x", big, huge.c_str(), sizeof(big)));
  EXPECT_STREQ(big, "");
}

TEST(Paths, ParentAndFileName) {
  struct Case {
    const char* path;
    const char* parent;
    const char* name;
  } cases[] = {
      {"C:\\a\\b", "C:\\a\\", "b"},
      {"C:\\a\\b\\", "C:\\a\\", ""},
      {"C:/a/b", "C:/a/", "b"},
      {"file.txt", "", "file.txt"},
      {"\\", "", ""},
      {"", "", ""},
      {"C:\\", "", ""},
      {"C:\\a", "C:\\", "a"},
  };
  for (const auto& c : cases) {
    char out[kMaxPath];
    EXPECT_STREQ(GetParentDir(out, c.path), c.parent) << c.path;
    EXPECT_STREQ(GetFileNamePart(out, c.path), c.name) << c.path;
  }
}

TEST(Paths, ParentAndFileNameRefuseWhatDoesNotFit) {
  std::string longPath = std::string(300, 'a') + "\\" + std::string(300, 'b');
  char out[kMaxPath] = "x";
  EXPECT_STREQ(GetParentDir(out, longPath.c_str()), "");
  EXPECT_STREQ(GetFileNamePart(out, longPath.c_str()), "");
}

TEST(Paths, TrailingSeparators) {
  char path[kMaxPath] = "C:\\a";
  EXPECT_TRUE(AddTrailingSeparator(path));
  EXPECT_STREQ(path, "C:\\a\\");
  EXPECT_TRUE(AddTrailingSeparator(path));
  EXPECT_STREQ(path, "C:\\a\\");
  char slash[kMaxPath] = "C:/a/";
  EXPECT_TRUE(AddTrailingSeparator(slash));
  EXPECT_STREQ(slash, "C:/a/");
  char empty[kMaxPath] = "";
  EXPECT_TRUE(AddTrailingSeparator(empty));
  EXPECT_STREQ(empty, "\\");
  char full[4] = "abc";
  EXPECT_FALSE(AddTrailingSeparator(full));
  EXPECT_STREQ(full, "abc");

  char many[kMaxPath] = "C:\\a\\/\\";
  RemoveTrailingSeparators(many);
  EXPECT_STREQ(many, "C:\\a");
  char mixed[kMaxPath] = "C:\\a\\b/c";
  ToForwardSlashes(mixed);
  EXPECT_STREQ(mixed, "C:/a/b/c");
}

TEST(Paths, ReplaceAll) {
  std::string path = "C:\\exe\\setup.exe";
  ReplaceAll(path, "exe", "dat");
  EXPECT_EQ(path, "C:\\dat\\setup.dat");
  std::string grow = "aaa";
  ReplaceAll(grow, "a", "aa");  // inserted text is not scanned again
  EXPECT_EQ(grow, "aaaaaa");
  std::string cased = "EXE exe";
  ReplaceAll(cased, "exe", "tlvn");
  EXPECT_EQ(cased, "EXE tlvn");
}

TEST(Text, BoundedCopiesCutAndReport) {
  char small[4];
  EXPECT_TRUE(CopyString(small, "abc"));
  EXPECT_FALSE(CopyString(small, "abcd"));
  EXPECT_STREQ(small, "abc");
  EXPECT_TRUE(CopyString(small, nullptr));
  EXPECT_STREQ(small, "");
  char buf[6] = "ab";
  EXPECT_TRUE(AppendString(buf, "cd"));
  EXPECT_FALSE(AppendString(buf, "efg"));
  EXPECT_STREQ(buf, "abcde");
  char formatted[5];
  EXPECT_FALSE(FormatString(formatted, sizeof(formatted), "%d", 123456));
  EXPECT_STREQ(formatted, "1234");
}

TEST(Text, CaseInsensitiveComparisonFoldsOnlySingleByteLetters) {
  EXPECT_TRUE(EqualsNoCase("/INSTALL", "/install"));
  EXPECT_FALSE(EqualsNoCase("/installx", "/install"));
  EXPECT_TRUE(StartsWithNoCase("/opp:v", "/OPP:", 5));
  EXPECT_FALSE(StartsWithNoCase("/P", "/P:", 3));
  // Big5 "\xA4\x61" ends in the byte of "a": it must not match "\xA4\x41" ("A").
  EXPECT_FALSE(EqualsNoCase("\xA4\x61", "\xA4\x41"));
  EXPECT_TRUE(EqualsNoCase("\xA4\x61x", "\xA4\x61X"));
}

// The bare digit run (ports) and the patch documents' numbers (blanks and a sign first)
// read the same digits, and neither wraps on a run too long for its type.
TEST(Text, LeadingNumbers) {
  const char* end = nullptr;
  EXPECT_EQ(LeadingNumber("2121/x", &end), 2121u);
  EXPECT_STREQ(end, "/x");
  EXPECT_EQ(LeadingNumber(" 21"), 0u);
  EXPECT_EQ(LeadingNumber("-5"), 0u);
  EXPECT_EQ(LeadingNumber(nullptr, &end), 0u);
  EXPECT_EQ(LeadingNumber("99999999999999999999999"), UINT64_MAX);
  EXPECT_EQ(LeadingInt(" \t+42x"), 42);
  EXPECT_EQ(LeadingInt("-7"), -7);
  EXPECT_EQ(LeadingInt("x1"), 0);
  EXPECT_EQ(LeadingInt("99999999999"), INT32_MAX);
  EXPECT_EQ(LeadingInt("-99999999999"), INT32_MIN);
  EXPECT_EQ(LeadingInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(LeadingUInt64("-1"), UINT64_MAX);
  EXPECT_TRUE(IsBlank('\v') && IsBlank('\r') && IsBlank(' '));
  EXPECT_FALSE(IsBlank('\0') || IsBlank('x') || IsBlank('\xA0'));
}

// 許 is 0xB3 0x5C and 功 is 0xA5 0x5C in Big5: their second byte is the byte of "\".
TEST(Paths, Big5TrailBytesAreNotSeparators) {
  const char* xu = "\xB3\x5C";
  const std::string folder = std::string("C:\\") + xu;           // C:\許
  const std::string file = folder + "\\" + "\xA5\x5C" + ".txt";  // C:\許\功.txt
  char out[kMaxPath];
  EXPECT_STREQ(GetFileNamePart(out, file.c_str()), "\xA5\x5C.txt");
  EXPECT_EQ(std::string(GetParentDir(out, file.c_str())), folder + "\\");
  EXPECT_STREQ(GetFileNamePart(out, folder.c_str()), xu);
  EXPECT_STREQ(GetParentDir(out, folder.c_str()), "C:\\");

  char path[kMaxPath];
  CopyString(path, folder.c_str());
  EXPECT_TRUE(AddTrailingSeparator(path));  // ends in a character, not a separator
  EXPECT_EQ(std::string(path), folder + "\\");
  RemoveTrailingSeparators(path);
  EXPECT_EQ(std::string(path), folder);
  EXPECT_TRUE(JoinPath("x", out, folder.c_str()));
  EXPECT_EQ(std::string(out), folder + "\\x");

  CopyString(path, file.c_str());
  ToForwardSlashes(path);
  EXPECT_EQ(std::string(path), std::string("C:/") + xu + "/\xA5\x5C.txt");
}
