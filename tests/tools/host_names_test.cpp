// The one conversion of talvpack's names, on the host and under Wine alike: code page 950
// bytes for every name with a Big5 form, a refusal for every other, and Windows' case rule.
#include "tools/talvpack/host_names.h"

#include <gtest/gtest.h>

#include <string>

namespace fs = std::filesystem;
using talvpack::CaseKey;
using talvpack::CodePointsOf;
using talvpack::FromCodePage950;
using talvpack::HostPathOf;
using talvpack::LauncherName;
using talvpack::ToCodePage950;

namespace {

// The host's form of UTF-8 text (fs::u8path holds UTF-8 on every host).
fs::path P(const char* utf8) { return fs::u8path(utf8); }

}  // namespace

TEST(HostNames, NamesConvertToCodePage950OrAreRefused) {
  const struct {
    const char* utf8;
    const char* big5;  // nullptr: no Big5 form
  } cases[] = {
      {"client.exe", "client.exe"},
      {u8"測試.txt", "\xB4\xFA\xB8\xD5.txt"},
      {u8"許", "\xB3\x5C"},          // the second byte is "\"
      {u8"功能.dat", "\xA5\x5C\xAF\xE0.dat"},
      {u8"遊戲資料", "\xB9\x43\xC0\xB8\xB8\xEA\xAE\xC6"},
      {u8"ＡＢ全形", "\xA2\xCF\xA2\xD0\xA5\xFE\xA7\xCE"},
      {u8"测试.txt", nullptr},       // simplified: not in Big5
      {u8"한국.txt", nullptr},
      {u8"caf\u00e9.txt", nullptr},  // no best-fit "e"
      {u8"\U0001F600.png", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::u32string text;
    ASSERT_TRUE(CodePointsOf(P(c.utf8), &text));
    std::string bytes;
    const bool converted = ToCodePage950(text, &bytes);
    EXPECT_EQ(converted, c.big5 != nullptr);
    if (c.big5 == nullptr) continue;
    EXPECT_EQ(bytes, c.big5);
    std::u32string back;
    ASSERT_TRUE(FromCodePage950(bytes, &back));
    EXPECT_EQ(back, text);
  }
}

TEST(HostNames, PathsJoinWholeCharactersAndComeBack) {
  // 許 ends in 0x5C: the separator after it is one byte more, never the trail byte itself.
  const fs::path relative = P(u8"資料/許/功.dat");
  std::string manifest, archive, error;
  ASSERT_TRUE(LauncherName(relative, '\\', &manifest, &error)) << error;
  ASSERT_TRUE(LauncherName(relative, '/', &archive, &error)) << error;
  EXPECT_EQ(manifest, "\xB8\xEA\xAE\xC6\\\xB3\x5C\\\xA5\x5C.dat");
  EXPECT_EQ(archive, "\xB8\xEA\xAE\xC6/\xB3\x5C/\xA5\x5C.dat");
  fs::path host;
  ASSERT_TRUE(HostPathOf(manifest, &host));
  EXPECT_EQ(host, relative);
  ASSERT_TRUE(HostPathOf(archive, &host));
  EXPECT_EQ(host, relative);
  EXPECT_FALSE(HostPathOf("\xB3", &host));  // a lead byte without its trail

  EXPECT_FALSE(LauncherName(P(u8"資料/测试.txt"), '\\', &manifest, &error));
  EXPECT_NE(error.find("code page 950"), std::string::npos) << error;
}

TEST(HostNames, CaseKeysFoldWhatWindowsFolds) {
  const auto key = [](const char* utf8) {
    std::u32string text;
    EXPECT_TRUE(CodePointsOf(P(utf8), &text));
    return CaseKey(text);
  };
  EXPECT_EQ(key("Data/A.DAT"), key("data\\a.dat"));
  EXPECT_EQ(key(u8"ＡＢ"), key(u8"ａｂ"));
  EXPECT_EQ(key(u8"Ωμέγα"), key(u8"ΩΜέΓΑ"));
  EXPECT_EQ(key(u8"Ⅻ"), key(u8"ⅻ"));
  EXPECT_NE(key(u8"許"), key(u8"功"));
  EXPECT_NE(key("a.dat"), key("b.dat"));
}
