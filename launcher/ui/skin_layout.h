// Where the skinned window pieces go: the tiles of the framed background, the face of an
// owner-drawn button, and the lines of an owner-drawn label. Plain arithmetic; the Windows
// side (skin_draw_win.cpp) only loads bitmaps and blits what this decides.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "launcher/resources/resource_ids.h"
#include "launcher/ui/skin_image.h"

// Owner-draw state bits, as Windows passes them.
constexpr unsigned kItemSelected = 0x1;
constexpr unsigned kItemGrayed = 0x2;
constexpr unsigned kItemDisabled = 0x4;
constexpr unsigned kItemFocus = 0x10;

// Controls the skin knows by id.
constexpr int kPathLabelId = IDC_CHOOSER_PATH;
constexpr int kStartButtonId = IDC_START_GAME;
constexpr int kCloseBoxId = IDC_CLOSE_BOX;
constexpr int kMinimiseBoxId = IDC_MINIMISE_BOX;
bool IsSkinLabel(int controlId);

// The background frame and its tiles.
constexpr int kFrameBitmapId = IDB_FRAME;
constexpr int kFrameBitmapWidth = 186;
constexpr int kFrameBitmapHeight = 162;
constexpr int kFrameTile = 107;

// One run of tiles along an axis: where the tile goes, how long it is, and where in the
// frame bitmap it starts. The first and last tiles carry the bitmap's edges.
struct FrameSpan {
  int position;
  int length;
  int source;
};
std::vector<FrameSpan> FrameSpans(int extent, int bitmapExtent);

// A bitmap copy: destination, size, and where in the bitmap it starts.
struct SkinBlit {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int srcX = 0;
  int srcY = 0;
  bool Empty() const { return width <= 0 || height <= 0; }
};
// A width x height bitmap placed at (x, y), cut to the clip rectangle.
SkinBlit ClipBlit(int x, int y, int width, int height, const SkinRect& clip);

// The face of a skinned button and how its text is drawn.
struct SkinFace {
  int bitmapId;
  int width;   // the face block the layout centres
  int height;
  const char* text;     // the text to draw, without the default mark
  std::uint32_t colour; // 0x00BBGGRR
};
constexpr std::uint32_t kDisabledTextColour = 0xE6E6E6;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
// The face for a button control in the given owner-draw state. "@" at the start of a push
// button's text marks the default button.
SkinFace ChooseFace(int controlId, unsigned state, const char* text);
// The face centred on the item, cut to the item.
SkinBlit PlaceFace(const SkinFace& face, const SkinRect& item);
// Where a button's text is drawn, centred on x.
void FaceTextOrigin(const SkinRect& item, int* x, int* y);

// The close mark of the launcher's close button.
constexpr int kCloseMarkBitmapId = IDB_CLOSE_MARK;
constexpr int kPressedCloseMarkBitmapId = IDB_CLOSE_MARK_PRESSED;
SkinBlit PlaceCloseMark(bool pressed, const SkinRect& item, int* bitmapId);

// The lines of an owner-drawn label. A line starting with "#" is centred (without the
// mark); line n stands at top + 15 * n, n counting the line feeds before it, so an empty
// line leaves a gap. Empty lines are not returned.
constexpr int kLabelLineHeight = 15;
constexpr std::size_t kLabelLineSize = 512;  // at most 511 bytes of a line are drawn
// The path label shortens lines longer than this to head, "..." and tail.
constexpr std::size_t kPathLineLimit = 40;
constexpr std::size_t kPathHead = 3;
constexpr std::size_t kPathTail = 35;

struct LabelLine {
  char text[kLabelLineSize];
  int length;
  bool centred;
  int row;
};

class LabelLines {
 public:
  LabelLines(const char* text, bool shortenPaths) : m_next(text != nullptr ? text : ""), m_shorten(shortenPaths) {}
  bool Next(LabelLine* line);

 private:
  const char* m_next;
  bool m_shorten;
  int m_row = 0;
};

// Bytes of the character at text[0] within length bytes: 2 for a Big5 lead byte with a
// byte after it, else 1.
std::size_t CharLength(const char* text, std::size_t length);
// The longest prefix of at most limit bytes that ends on a character boundary.
std::size_t CutAtCharacter(const char* text, std::size_t length, std::size_t limit);
