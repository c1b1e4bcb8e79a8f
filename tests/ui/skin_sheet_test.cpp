// The skin sheet the build drew (tools/art/make_art.py) holds every sprite where the
// drawing code reads it.
#include "launcher/ui/skin_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class SkinSheet : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("TALV_BUILD_DIR");
    std::ifstream in(std::string(build != nullptr ? build : ".") + "/generated/art/skin.bmp", std::ios::binary);
    file_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ASSERT_TRUE(skin_.SetSkin(file_.data(), file_.size())) << "no skin sheet in the build";
  }

  int Grey(int x, int y) const {
    const std::uint8_t* p = skin_.SkinPixel(x, y);
    EXPECT_NE(p, nullptr) << x << "," << y;
    if (p == nullptr) return -1;
    EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "not grey at " << x << "," << y;
    return p[0];
  }
  bool Black(int x, int y) const { return Grey(x, y) == 0; }
  bool White(int x, int y) const { return Grey(x, y) == 0xFF; }
  int CountBlack(int x, int y, int width, int height) const {
    int n = 0;
    for (int j = 0; j < height; ++j)
      for (int i = 0; i < width; ++i) n += Black(x + i, y + j) ? 1 : 0;
    return n;
  }
  bool AllWhite(int x, int y, int width, int height) const {
    for (int j = 0; j < height; ++j)
      for (int i = 0; i < width; ++i)
        if (!White(x + i, y + j)) return false;
    return true;
  }
  std::vector<int> Patch(int x, int y, int width, int height) const {
    std::vector<int> out;
    for (int j = 0; j < height; ++j)
      for (int i = 0; i < width; ++i) out.push_back(Grey(x + i, y + j));
    return out;
  }

  std::vector<char> file_;
  PanelImage skin_;
};

}  // namespace

TEST_F(SkinSheet, Size) {
  EXPECT_NE(skin_.SkinPixel(299, 179), nullptr);
  EXPECT_EQ(skin_.SkinPixel(300, 0), nullptr);
  EXPECT_EQ(skin_.SkinPixel(0, 180), nullptr);
}

// Each glyph has ink inside its width but not in its last column (the space to the next),
// and nothing of the strip spills above, below or before it.
TEST_F(SkinSheet, FontStrip) {
  const char chars[] = "0123456789%_-\\/:.[]ABCDEFGHIJKLMNOPQRSTUVWXYZ ";
  int end = 19;
  for (const char* c = chars; *c != '\0'; ++c) {
    int x = 0;
    const int w = SkinGlyph(*c, &x);
    ASSERT_GT(w, 0) << *c;
    EXPECT_EQ(x, end) << *c;
    EXPECT_TRUE(AllWhite(x + w - 1, 3, 1, 5)) << "glyph " << *c << " runs into the next";
    if (*c == ' ') {
      EXPECT_TRUE(AllWhite(x, 3, w, 5));
    } else {
      EXPECT_GT(CountBlack(x, 3, w - 1, 5), 0) << "glyph " << *c << " is empty";
    }
    end = x + w;
  }
  EXPECT_TRUE(AllWhite(18, 2, end - 18 + 1, 1));
  EXPECT_TRUE(AllWhite(18, 8, end - 18 + 1, 1));
  EXPECT_TRUE(AllWhite(18, 3, 1, 5));
}

TEST_F(SkinSheet, Captions) {
  const int xs[] = {15, 57, 93};
  std::vector<std::vector<int>> seen;
  for (int x : xs) {
    EXPECT_GT(CountBlack(x, 15, 36, 11), 20) << x;
    EXPECT_TRUE(AllWhite(x - 1, 15, 1, 11)) << x;
    EXPECT_TRUE(AllWhite(x + 36, 15, 1, 11)) << x;
    EXPECT_TRUE(AllWhite(x, 14, 36, 1)) << x;
    EXPECT_TRUE(AllWhite(x, 26, 36, 1)) << x;
    seen.push_back(Patch(x, 15, 36, 11));
  }
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_NE(seen[1], seen[2]);
  EXPECT_NE(seen[0], seen[2]);
}

TEST_F(SkinSheet, BarsAndBadge) {
  // Solid bar and the badge cut from it are black, so white digits show on them.
  EXPECT_EQ(CountBlack(57, 34, 204, 11), 204 * 11);
  // The striped bar has both inks in its inside rows.
  const int stripes = CountBlack(57, 49, 204, 9);
  EXPECT_GT(stripes, 204 * 9 / 4);
  EXPECT_LT(stripes, 204 * 9 * 3 / 4);
}

TEST_F(SkinSheet, CloseMarks) {
  const int pressed = CountBlack(212, 16, 33, 11);
  EXPECT_GT(pressed, 33 * 11 / 2);  // inverted: white marks on black
  EXPECT_LT(pressed, 33 * 11);
  // The full frame carries the normal mark where the pressed one is laid over it.
  const int normal = CountBlack(5 + 251, 135 + 14, 33, 11);
  EXPECT_GT(normal, 10);
  EXPECT_LT(normal, 33 * 11 / 2);
}

// Both frames: an even dark track under the bar (neither white nor black, so both the
// white digits and the black fill show on it), white behind the caption and status text.
TEST_F(SkinSheet, ProgressFrames) {
  struct Frame {
    const char* name;
    int originX, originY;  // skin position of panel position (0, 0)
  };
  for (const Frame& f : {Frame{"compact", 12, 65}, Frame{"full", 5, 135}}) {
    const int track = Grey(f.originX + 45, f.originY + 7);
    EXPECT_NE(track, 0) << f.name;
    EXPECT_NE(track, 0xFF) << f.name;
    EXPECT_EQ(Patch(f.originX + 45, f.originY + 7, 204, 11), std::vector<int>(204 * 11, track)) << f.name;
    EXPECT_TRUE(AllWhite(f.originX + 7, f.originY + 7, 36, 11)) << f.name;
    EXPECT_TRUE(AllWhite(f.originX + 47, f.originY + 19, 200, 5)) << f.name;
  }
}
