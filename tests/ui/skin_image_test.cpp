#include "launcher/ui/skin_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "launcher/ui/panel.h"
#include "tests/ui/skin_test_util.h"

namespace {

constexpr std::uint8_t kCleared = 0x11;  // back-buffer bytes no skin pixel has

struct Canvas {
  explicit Canvas(int width = 300, int height = 60) : skin(CodedSkinFile()) {
    EXPECT_TRUE(image.Allocate(width, height));
    EXPECT_TRUE(image.SetSkin(skin.data(), skin.size()));
    image.Fill(kCleared);
  }
  std::vector<std::uint8_t> skin;
  PanelImage image;
};

// Skin source of a panel position inside the frame background.
Source FrameSource(bool compact, int x, int y) { return compact ? Source{12 + x, 65 + y} : Source{5 + x, 135 + y}; }

constexpr int kGlyphA = 90;  // 19 + widths of "0123456789%_-\/:.[]"
constexpr int kGlyphB = 94;
constexpr int kGlyphC = 98;
constexpr int kGlyphL = 132;
constexpr int kGlyphW = 178;

}  // namespace

// Fill width, which sprite fills and what shows after it, for each progress type.
TEST(SkinImage, ProgressFillByType) {
  struct Case {
    int type, percent;
    bool compact;
    int fill;
    int fillSkinY;  // 34 solid, 48 striped
    bool stripesAfter;
  };
  const Case cases[] = {
      {PanelGeneral, 3, true, 6, 34, false},       {PanelGeneral, 150, true, 204, 34, false},
      {PanelGeneral, -20, false, 0, 34, false},    {PanelGeneral, 100, false, 204, 34, false},
      {PanelDownload, 50, true, 102, 48, false},   {PanelDownload, 100, false, 204, 48, false},
      {PanelExtract, 3, false, 20, 34, true},      {PanelExtract, 0, true, 20, 34, true},
      {PanelExtract, 50, true, 102, 34, true},     {PanelExtract, 100, true, 204, 34, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " at " + std::to_string(c.percent) + " %");
    Canvas canvas;
    const int x0 = 20, y0 = 10;
    canvas.image.DrawProgressFrame("", x0, y0, c.percent, c.type, c.compact);
    for (int row = 0; row < 11; ++row) {
      if (c.fill > 0) {
        EXPECT_EQ(SourceOf(canvas.image, x0 + 45 + c.fill - 1, y0 + 7 + row), Source(57 + c.fill - 1, c.fillSkinY + row));
      }
      const Source after = c.stripesAfter ? Source{57 + c.fill, 48 + row} : FrameSource(c.compact, 45 + c.fill, 7 + row);
      EXPECT_EQ(SourceOf(canvas.image, x0 + 45 + c.fill, y0 + 7 + row), after);
    }
  }
}

TEST(SkinImage, DownloadPercentageSitsOnABadgeAsWideAsTheText) {
  Canvas canvas;
  canvas.image.DrawProgressFrame("", 0, 0, 50, PanelDownload, true);
  const int w = MeasureSkinText("50 %");
  ASSERT_EQ(w, 14);
  EXPECT_EQ(SourceOf(canvas.image, 50, 7), Source(62, 34));
  EXPECT_EQ(SourceOf(canvas.image, 50 + w + 2, 17), Source(62 + w + 2, 44));
  EXPECT_EQ(SourceOf(canvas.image, 50 + w + 3, 7), Source(57 + 5 + w + 3, 48));  // the stripes again
}

TEST(SkinImage, CaptionByType) {
  const std::pair<int, int> cases[] = {{PanelGeneral, 93}, {PanelDownload, 57}, {PanelExtract, 15}};
  for (const auto& [type, skinX] : cases) {
    Canvas canvas;
    canvas.image.DrawProgressFrame("", 10, 10, 0, type, true);
    EXPECT_EQ(SourceOf(canvas.image, 10 + 7, 10 + 7), Source(skinX, 15)) << type;
    EXPECT_EQ(SourceOf(canvas.image, 10 + 7 + 35, 10 + 17), Source(skinX + 35, 25)) << type;
  }
  // Another type draws the frame and the status text only.
  Canvas canvas;
  canvas.image.DrawProgressFrame("A", 10, 10, 50, 7, true);
  EXPECT_EQ(SourceOf(canvas.image, 10 + 7, 10 + 7), FrameSource(true, 7, 7));
  EXPECT_EQ(SourceOf(canvas.image, 10 + 45, 10 + 7), FrameSource(true, 45, 7));
  EXPECT_EQ(SourceOf(canvas.image, 10 + 47, 10 + 19), Source(kGlyphA, 3));
}

TEST(SkinImage, SpriteModesWorkByteByByte) {
  struct Case {
    SpriteMode mode;
    std::uint8_t b, g, r;
  };
  // Source pixel (0, 0x33, 0) over a destination of 0x55 bytes.
  const Case cases[] = {{SpriteCopy, 0, 0x33, 0}, {SpriteWhiteInk, 0xFF, 0x55, 0xFF}, {SpriteBlackInk, 0, 0x55, 0}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> skin = CodedSkinFile();
    std::uint8_t* topLeft = skin.data() + 54 + static_cast<std::size_t>(kSkinHeight - 1) * kSkinWidth * 3;
    topLeft[0] = 0;
    topLeft[1] = 0x33;
    topLeft[2] = 0;
    PanelImage image;
    ASSERT_TRUE(image.Allocate(4, 4));
    ASSERT_TRUE(image.SetSkin(skin.data(), skin.size()));
    image.Fill(0x55);
    image.CopySprite(1, 0, 1, 1, 0, 1, c.mode);
    const std::uint8_t* p = image.Pixel(1, 1);
    EXPECT_EQ(p[0], c.b) << c.mode;
    EXPECT_EQ(p[1], c.g) << c.mode;
    EXPECT_EQ(p[2], c.r) << c.mode;
  }
}

TEST(SkinImage, SkinTextWidths) {
  const std::pair<const char*, int> cases[] = {
      {"0", 4},     {"1", 2},      {"100 %", 16}, {"NQ", 10}, {"abc", 12}, {"(A)", 4},
      {"\xA4\x41", 0},  // a double-byte character whose trail byte is "A"
      {"", 0},      {"client ver. 301", 52},
  };
  for (const auto& [text, width] : cases) {
    EXPECT_EQ(MeasureSkinText(text), width) << text;
    Canvas canvas;
    EXPECT_EQ(canvas.image.DrawSkinText(text, 0, 0, SpriteCopy), width) << text;
  }
  int x = 0;
  EXPECT_EQ(SkinGlyph(' ', &x), 2);
  EXPECT_EQ(x, 19 + 175);
  EXPECT_EQ(SkinGlyph('(', &x), 0);
}

TEST(SkinImage, LowerCaseUsesCapitalsAndUnknownCharactersLeaveNoGap) {
  Canvas lower, upper;
  EXPECT_EQ(lower.image.DrawSkinText("a(b)c", 5, 5, SpriteCopy), 12);
  EXPECT_EQ(upper.image.DrawSkinText("ABC", 5, 5, SpriteCopy), 12);
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 300; ++x) ASSERT_EQ(SourceOf(lower.image, x, y), SourceOf(upper.image, x, y)) << x << "," << y;
  }
  EXPECT_EQ(SourceOf(lower.image, 5, 5), Source(kGlyphA, 3));
  EXPECT_EQ(SourceOf(lower.image, 9, 9), Source(kGlyphB, 7));
  EXPECT_EQ(SourceOf(lower.image, 13, 5), Source(kGlyphC, 3));
  EXPECT_EQ(SourceOf(lower.image, 17, 5), Source(-1, -1));
}

TEST(SkinImage, ControlSmallerThanTheFrameIsClipped) {
  Canvas canvas(100, 20);
  const std::string longText(300, 'W');
  const PanelView view{PanelDownload, 100, longText.c_str(), true, 301};
  ComposePanel(canvas.image, view, SkinRect{0, 0, 100, 20}, true, false);
  // The frame's origin lies at (-79, -5): the control shows a window into the middle.
  EXPECT_EQ(SourceOf(canvas.image, 0, 0), FrameSource(false, 79, 5));
  EXPECT_EQ(SourceOf(canvas.image, 99, 10), Source(57 + 178 - 45, 48 + 15 - 7));  // stripes
  EXPECT_EQ(SourceOf(canvas.image, 0, 14), Source(kGlyphW, 3));  // the status text, cut
  EXPECT_EQ(SourceOf(canvas.image, 0, 15), Source(kGlyphC, 3));  // the version line
  // Sprites partly or wholly outside either image.
  canvas.image.Fill(kCleared);
  canvas.image.CopySprite(50, 290, 0, 0, 0, 1, SpriteCopy);
  EXPECT_EQ(SourceOf(canvas.image, 9, 0), Source(299, 0));
  EXPECT_EQ(canvas.image.Pixel(10, 0)[0], kCleared);
  canvas.image.CopySprite(INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MIN, INT_MAX, SpriteCopy);
  canvas.image.CopySprite(INT_MAX, 0, 99, 19, 0, INT_MAX, SpriteCopy);
  EXPECT_EQ(SourceOf(canvas.image, 99, 19), Source(0, 0));
  canvas.image.CopySprite(10, 0, -5, -5, 0, 10, SpriteCopy);
  EXPECT_EQ(SourceOf(canvas.image, 0, 0), Source(5, 5));
  EXPECT_EQ(SourceOf(canvas.image, 4, 4), Source(9, 9));
  EXPECT_EQ(canvas.image.Pixel(5, 1)[0], kCleared);
  EXPECT_EQ(canvas.image.Pixel(0, 5)[0], kCleared);
}

TEST(SkinImage, NothingIsDrawnWithoutBufferOrSkin) {
  std::vector<std::uint8_t> skin = CodedSkinFile();
  PanelImage noSkin;
  ASSERT_TRUE(noSkin.Allocate(10, 10));
  noSkin.CopySprite(10, 0, 0, 0, 0, 10, SpriteCopy);
  EXPECT_EQ(noSkin.Pixel(0, 0)[0], 0xFF);
  PanelImage noBuffer;
  ASSERT_TRUE(noBuffer.SetSkin(skin.data(), skin.size()));
  noBuffer.DrawProgressFrame("TEXT", 0, 0, 50, PanelGeneral, true);
  noBuffer.Fill(0);
  EXPECT_FALSE(noBuffer.HasBuffer());
  EXPECT_FALSE(noBuffer.Allocate(0, 10));
  EXPECT_FALSE(noBuffer.Allocate(10, -1));
}

TEST(SkinImage, BrokenSkinFilesAreRefused) {
  struct Case {
    const char* what;
    std::size_t at;  // byte to change, or the size to cut to when value < 0
    int value;
  };
  const std::vector<std::uint8_t> good = CodedSkinFile();
  const Case cases[] = {
      {"signature", 0, 'X'},           {"8 bits", 28, 8},          {"compressed", 30, 1},
      {"top-down rows", 25, 0xFF},     {"offset past the end", 13, 0x7F}, {"one byte short", good.size() - 1, -1},
      {"headers only", 54, -1},        {"information header too small", 14, 12},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> file = good;
    if (c.value < 0) {
      file.resize(c.at);
    } else {
      file[c.at] = static_cast<std::uint8_t>(c.value);
    }
    PanelImage image;
    EXPECT_FALSE(image.SetSkin(file.data(), file.size())) << c.what;
    EXPECT_FALSE(image.HasSkin()) << c.what;
  }
  PanelImage image;
  EXPECT_TRUE(image.SetSkin(good.data(), good.size()));
  EXPECT_FALSE(image.SetSkin(nullptr, 100));
}

TEST(SkinImage, VersionLineOnly) {
  Canvas canvas;
  canvas.image.Fill(0);
  const PanelView view{PanelNone, 40, "ignored", true, 301};
  ComposePanel(canvas.image, view, SkinRect{0, 0, 300, 60}, true, true);
  EXPECT_EQ(SourceOf(canvas.image, 0, 55), Source(kGlyphC, 3));   // "client ver. 301" in capitals
  EXPECT_EQ(SourceOf(canvas.image, 60, 59), Source(kGlyphL, 7));  // "launcher ver. 205 - Taiwan"
  EXPECT_EQ(canvas.image.Pixel(150, 20)[0], 0);                   // no frame
  Canvas hidden;
  const PanelView none{PanelNone, 40, "", false, 301};
  ComposePanel(hidden.image, none, SkinRect{0, 0, 300, 60}, false, true);
  EXPECT_EQ(hidden.image.Pixel(0, 55)[0], kCleared);
}

TEST(SkinImage, FrameCentredWithStatusTextAndPressedCloseMark) {
  Canvas canvas(340, 60);
  const PanelView view{PanelGeneral, 0, "Abc", false, 0};
  ComposePanel(canvas.image, view, SkinRect{0, 0, 340, 60}, true, false);
  const int x0 = 41, y0 = 14;  // (340 - 258) / 2, (60 - 31) / 2
  EXPECT_EQ(SourceOf(canvas.image, x0 - 1, y0 - 1), Source(4, 134));
  EXPECT_EQ(SourceOf(canvas.image, x0 + 47, y0 + 19), Source(kGlyphA, 3));
  EXPECT_EQ(SourceOf(canvas.image, x0 + 251, y0 + 14), Source(212, 16));
  EXPECT_EQ(SourceOf(canvas.image, x0 + 251 + 32, y0 + 14 + 10), Source(244, 26));
  EXPECT_EQ(SourceOf(canvas.image, x0 + 251 + 33, y0 + 14), FrameSource(false, 251 + 33, 14));
}
