#include "launcher/install/shortcuts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(DesktopIni, TextCarriesTheIconAndTipWithABareLineFeedAtTheEnd) {
  char out[512];
  // The tip is Big5 ("高" is 0xB0 0xAA); bytes are copied as they are.
  ASSERT_TRUE(FormatDesktopIni("C:\\Games\\Talvenor\\Talvenor.exe", "MMORPG \xB0\xAA", out, sizeof(out)));
  EXPECT_EQ(std::string(out),
            "[.ShellClassInfo]\r\nConfirmFileOp=0\r\nNoSharing=1\r\nIconFile=C:\\Games\\Talvenor\\Talvenor.exe\r\n"
            "IconIndex=0\r\nInfoTip=MMORPG \xB0\xAA\n");
}

TEST(DesktopIni, TextThatDoesNotFitIsRefused) {
  const std::string whole = "[.ShellClassInfo]\r\nConfirmFileOp=0\r\nNoSharing=1\r\nIconFile=Talvenor.exe\r\n"
                            "IconIndex=0\r\nInfoTip=tip\n";
  std::string out(whole.size() + 1, 'x');
  EXPECT_TRUE(FormatDesktopIni("Talvenor.exe", "tip", &out[0], out.size()));
  EXPECT_EQ(std::string(out.c_str()), whole);
  EXPECT_FALSE(FormatDesktopIni("Talvenor.exe", "tip", &out[0], whole.size()));
  EXPECT_STREQ(out.c_str(), "");
  EXPECT_FALSE(FormatDesktopIni("Talvenor.exe", "tip", nullptr, 10));
}

TEST(TitleLink, AppendsTheLinkExtensionOrRefuses) {
  char out[13];
  ASSERT_TRUE(TitleLinkName("talvenor", out, sizeof(out)));
  EXPECT_STREQ(out, "talvenor.lnk");
  EXPECT_FALSE(TitleLinkName("talvenor2", out, sizeof(out)));
  EXPECT_STREQ(out, "");
}

}  // namespace
