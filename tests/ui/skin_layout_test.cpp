#include "launcher/ui/skin_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

struct Line {
  std::string text;
  bool centred;
  int row;
  bool operator==(const Line& o) const { return std::tie(text, centred, row) == std::tie(o.text, o.centred, o.row); }
};

std::vector<Line> Lines(const char* text, bool path = false) {
  std::vector<Line> out;
  LabelLines lines(text, path);
  LabelLine line;
  while (lines.Next(&line)) {
    EXPECT_EQ(static_cast<std::size_t>(line.length), std::string(line.text).size());
    out.push_back({line.text, line.centred, line.row});
  }
  return out;
}

std::string Big5(int characters) {
  std::string s;
  for (int i = 0; i < characters; ++i) s += "\xB4\x5C";  // a character whose trail byte is "\"
  return s;
}

}  // namespace

TEST(SkinLayout, LabelLines) {
  EXPECT_EQ(Lines("#Centred\n\nplain"), (std::vector<Line>{{"Centred", true, 0}, {"plain", false, 2}}));
  EXPECT_EQ(Lines("one\r\ntwo\r\n"), (std::vector<Line>{{"one", false, 0}, {"two", false, 1}}));
  EXPECT_EQ(Lines("a\rb"), (std::vector<Line>{{"a", false, 0}, {"b", false, 0}}));
  EXPECT_EQ(Lines("#\n\n"), std::vector<Line>{});
  EXPECT_EQ(Lines(nullptr), std::vector<Line>{});
  // At most 511 bytes of a line, never half a character.
  EXPECT_EQ(Lines(std::string(600, 'x').c_str()), (std::vector<Line>{{std::string(511, 'x'), false, 0}}));
  const std::string split = std::string(510, 'x') + Big5(3);
  EXPECT_EQ(Lines(split.c_str()), (std::vector<Line>{{std::string(510, 'x'), false, 0}}));
}

TEST(SkinLayout, PathLabelKeepsHeadAndWholeCharactersOfTheTail) {
  const std::string ascii = "C:\\" + std::string(22, 'a') + "\\" + std::string(34, 'b');  // 60 bytes
  ASSERT_EQ(ascii.size(), 60u);
  EXPECT_EQ(Lines(ascii.c_str(), true), (std::vector<Line>{{"C:\\..." + ascii.substr(25), false, 0}}));
  // Only the path label shortens.
  EXPECT_EQ(Lines(ascii.c_str(), false)[0].text, ascii);

  // 24 single bytes then 18 double-byte characters: the last 35 bytes would begin with a
  // trail byte, so the tail starts one byte later.
  const std::string big5 = "C:\\" + std::string(21, 'x') + Big5(18);
  ASSERT_EQ(big5.size(), 60u);
  EXPECT_EQ(Lines(big5.c_str(), true)[0].text, "C:\\..." + Big5(17));

  // A head that would end inside a character keeps the whole characters only.
  const std::string lead = Big5(30);
  EXPECT_EQ(Lines(lead.c_str(), true)[0].text, Big5(1) + "..." + Big5(17));

  // 40 bytes stay whole; 41 are shortened.
  const std::string forty(40, 'p');
  EXPECT_EQ(Lines(forty.c_str(), true)[0].text, forty);
  const std::string fortyOne = "0123456789" + std::string(31, 'q');
  EXPECT_EQ(Lines(fortyOne.c_str(), true)[0].text, "012..." + fortyOne.substr(6));
}

TEST(SkinLayout, ButtonFaces) {
  struct Case {
    int id;
    unsigned state;
    const char* text;
    int face;
    const char* drawn;
    std::uint32_t colour;
  };
  const unsigned sel = kItemSelected, grey = kItemGrayed, off = kItemDisabled, focus = kItemFocus;
  const Case cases[] = {
      {1, 0, "OK", 119, "OK", kBlack},
      {1, off, "OK", 120, "OK", kDisabledTextColour},
      {1, grey, "OK", 120, "OK", kDisabledTextColour},
      {1, focus, "OK", 121, "OK", kBlack},
      {1, focus | off, "OK", 120, "OK", kDisabledTextColour},
      {1, 0, "@OK", 122, "OK", kBlack},
      {1, off, "@OK", 123, "OK", kDisabledTextColour},
      {1, focus, "@OK", 124, "OK", kBlack},
      {1, focus | grey, "@OK", 123, "OK", kDisabledTextColour},
      {1, sel | focus, "@OK", 125, "OK", kWhite},
      {7, sel | off, "", 125, "", kDisabledTextColour},
      {1, 0, nullptr, 119, "", kBlack},
      {kStartButtonId, sel | focus | off, "", 144, "", kDisabledTextColour},
      {kStartButtonId, focus | off, "", 142, "", kDisabledTextColour},
      {kStartButtonId, grey, "", 143, "", kDisabledTextColour},
      {kStartButtonId, off, "", 143, "", kDisabledTextColour},
      {kStartButtonId, 0, "", 145, "", kBlack},
      {kCloseBoxId, sel, "", 132, "", kWhite},
      {kCloseBoxId, focus, "", 130, "", kBlack},
      {kMinimiseBoxId, sel, "", 137, "", kWhite},
      {kMinimiseBoxId, 0, "", 135, "", kBlack},
  };
  for (const Case& c : cases) {
    const SkinFace face = ChooseFace(c.id, c.state, c.text);
    EXPECT_EQ(face.bitmapId, c.face) << c.id << " state " << c.state;
    EXPECT_STREQ(face.text, c.drawn) << c.id << " state " << c.state;
    EXPECT_EQ(face.colour, c.colour) << c.id << " state " << c.state;
  }
  EXPECT_EQ(ChooseFace(1, 0, "").width, 65);
  EXPECT_EQ(ChooseFace(kStartButtonId, 0, "").height, 50);
  EXPECT_EQ(ChooseFace(kCloseBoxId, 0, "").width, 13);
}

TEST(SkinLayout, FacesAreCentredAndCutToTheItem) {
  struct Case {
    SkinRect item;
    int x, y, width, height, srcX, srcY;
  };
  const SkinFace push = ChooseFace(1, 0, "");
  const Case cases[] = {
      {{0, 0, 80, 25}, 7, 3, 65, 19, 0, 0},
      {{10, 20, 90, 45}, 17, 23, 65, 19, 0, 0},
      {{0, 0, 40, 10}, 0, 0, 40, 10, 12, 4},
  };
  for (const Case& c : cases) {
    const SkinBlit b = PlaceFace(push, c.item);
    EXPECT_EQ(std::tie(b.x, b.y, b.width, b.height, b.srcX, b.srcY),
              std::tie(c.x, c.y, c.width, c.height, c.srcX, c.srcY));
  }
  EXPECT_TRUE(PlaceFace(push, SkinRect{0, 0, 0, 0}).Empty());
  int x = 0, y = 0;
  FaceTextOrigin(SkinRect{0, 0, 80, 25}, &x, &y);
  EXPECT_EQ(x, 40);
  EXPECT_EQ(y, 7);
  int id = 0;
  const SkinBlit mark = PlaceCloseMark(true, SkinRect{0, 0, 40, 20}, &id);
  EXPECT_EQ(id, 129);
  EXPECT_EQ(std::tie(mark.x, mark.y, mark.width, mark.height), std::make_tuple(3, 4, 33, 12));
  PlaceCloseMark(false, SkinRect{0, 0, 40, 20}, &id);
  EXPECT_EQ(id, 127);
}

TEST(SkinLayout, FrameTilesPutTheBitmapEdgesOnTheWindowEdges) {
  auto spans = [](int extent, int bitmap) {
    std::vector<std::tuple<int, int, int>> out;
    for (const FrameSpan& s : FrameSpans(extent, bitmap)) out.emplace_back(s.position, s.length, s.source);
    return out;
  };
  using T = std::vector<std::tuple<int, int, int>>;
  EXPECT_EQ(spans(300, 186), (T{{0, 107, 0}, {107, 107, 10}, {214, 86, 100}}));
  EXPECT_EQ(spans(214, 186), (T{{0, 107, 0}, {107, 107, 79}}));
  EXPECT_EQ(spans(107, 162), (T{{0, 107, 55}}));
  EXPECT_EQ(spans(40, 162), (T{{0, 40, 122}}));
  EXPECT_EQ(spans(0, 186), T{});
}

TEST(SkinLayout, SkinLabels) {
  for (int id : {1015, 1034, 1035, 1043, 1046}) EXPECT_TRUE(IsSkinLabel(id)) << id;
  for (int id : {1, 1026, 1032, 1033, 1036}) EXPECT_FALSE(IsSkinLabel(id)) << id;
}
