#include "launcher/ui/installer_layout.h"

#include <gtest/gtest.h>

namespace {

LayoutRect Rect(int left, int top, int right, int bottom) {
  LayoutRect r;
  r.left = left;
  r.top = top;
  r.right = right;
  r.bottom = bottom;
  return r;
}

TEST(InstallerPageArea, ScalesWithTheWidthUnlessTheHeightIsShort) {
  struct Case {
    int width, height, w, h;
  } cases[] = {
      {800, 600, 780, 438},     // the height rule applies and yields the same size
      {1600, 600, 780, 438},    // wide: limited by the height
      {1600, 1200, 1560, 876},  // both rules agree
      {800, 1200, 780, 438},    // tall: the width rule stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const LayoutRect area = InstallerPageArea(Rect(0, 0, c.width, c.height));
    EXPECT_EQ(area.right - area.left, c.w);
    EXPECT_EQ(area.bottom - area.top, c.h);
    EXPECT_EQ(area.left, (c.width - c.w) / 2);
    EXPECT_EQ(area.top, (c.height - c.h) / 2);
  }
  // Centred in the client area wherever it starts.
  const LayoutRect offset = InstallerPageArea(Rect(10, 20, 810, 620));
  EXPECT_EQ(offset.left, 20);
  EXPECT_EQ(offset.top, 101);
}

TEST(InstallerPageArea, ControlsKeepTheirPlaceAcrossAndTheirDistanceFromTheBottom) {
  // A 450 x 90 screen centred on a 1024 x 768 screen; the panel 60 px in, 21 px down.
  const LayoutRect dialog = Rect(287, 339, 737, 429);
  const LayoutPoint at = MovedControl(Rect(0, 0, 1024, 740), dialog, Rect(60, 21, 390, 66));
  EXPECT_EQ(at.x, (1024 - 450) / 2 + 60);
  EXPECT_EQ(at.y, 740 - (90 - 21));
}

TEST(ScreenAfterAgreement, FolderPageUnlessAStandardUserOfTheNewestSystemsHasAFolder) {
  struct Case {
    int versionClass;
    bool administrator;
    const char* gameDir;
    int screen;
  } cases[] = {
      {7, false, "C:\\Orvex\\Talvenor", 3},
      {7, true, "C:\\Orvex\\Talvenor", 2},
      {6, false, "C:\\Orvex\\Talvenor", 2},  // Windows 5.1 shows the folder page
      {0, false, "C:\\Orvex\\Talvenor", 2},
      {7, false, "", 2},  // nothing registered: never install into an empty path
      {7, false, nullptr, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.versionClass << " " << c.administrator << " "
                                    << (c.gameDir != nullptr ? c.gameDir : "null"));
    EXPECT_EQ(ScreenAfterAgreement(c.versionClass, c.administrator, c.gameDir), c.screen);
  }
}

}  // namespace
