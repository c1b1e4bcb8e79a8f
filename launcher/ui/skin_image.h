// The progress display of a panel is composed in memory: a back buffer the size of the
// panel's control, into which sprites of the skin sheet (resource "BIN" IDR_SKIN, a 24-bit
// BMP file used in place) are copied, then shown with one blit. Everything here but Create and
// Present is plain byte work, built and tested on the host.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "launcher/resources/resource_ids.h"

struct HWND__;
struct HDC__;

constexpr int kSkinResourceId = IDR_SKIN;

// How CopySprite treats the skin bytes. The ink modes work byte by byte: a 0 byte of the
// sprite sets the destination byte, every other byte lets the destination show through.
enum SpriteMode : int {
  SpriteCopy = 0,
  SpriteWhiteInk = 1,  // 0 in the sprite -> 0xFF
  SpriteBlackInk = 2,  // 0 in the sprite -> 0
};

// The skin font: glyphs side by side on skin row 3 from x 19, 5 rows high.
constexpr int kSkinFontX = 19;
constexpr int kSkinFontY = 3;
constexpr int kSkinFontHeight = 5;
// Skin x of the glyph for c and its width; 0 when c is not in the font. Lower-case
// letters use the capitals.
int SkinGlyph(char c, int* glyphX);
// Pen advance of text in the skin font; characters outside it (and double-byte
// characters, whose trail byte may look like a letter) take no room.
int MeasureSkinText(const char* text);

// The progress bar: 204 pixels for 100 %, 11 rows.
constexpr int kProgressBarWidth = 204;
// Filled width of the bar for a percentage, clamped to 0..100.
int ProgressFill(int percent);

// The 258 x 31 progress frame a panel centres in its control.
constexpr int kProgressFrameWidth = 258;
constexpr int kProgressFrameHeight = 31;

struct SkinRect {
  int left;
  int top;
  int right;
  int bottom;
};

class PanelImage {
 public:
  PanelImage() = default;
  PanelImage(const PanelImage&) = delete;
  PanelImage& operator=(const PanelImage&) = delete;

  // Back buffer of the control's client size, white, and the skin from the resources.
  bool Create(HWND__* control);
  // The back buffer alone: a 40-byte information header and bottom-up rows, all white.
  // False (no buffer) for an empty or absurd size.
  bool Allocate(int width, int height);
  // Reads the headers of a BMP file that stays where it is; false (no skin) unless it is
  // a whole uncompressed 24-bit picture inside size bytes.
  bool SetSkin(const void* file, std::size_t size);

  void Fill(unsigned char value);
  // Copies width x height pixels from skin (srcX, srcY) to (dstX, dstY), both from the top
  // of their image. Whatever falls outside either image is left out.
  void CopySprite(int width, int srcX, int dstX, int dstY, int srcY, int height, SpriteMode mode);
  // Draws text in the skin font at (x, y); returns its width.
  int DrawSkinText(const char* text, int x, int y, SpriteMode mode);
  // Bar, percentage, caption and status text, at panel origin (x0, y0).
  void DrawProgressFrame(const char* text, int x0, int y0, int percent, int type, bool compact);
  // The whole back buffer to (0, 0) of the device context.
  void Present(HDC__* dc) const;

  bool HasBuffer() const { return m_back.rows != nullptr; }
  bool HasSkin() const { return m_skin.rows != nullptr; }
  int Width() const { return m_back.width; }
  int Height() const { return m_back.height; }
  // Information header followed by the rows, as a device-independent bitmap wants them.
  const std::uint8_t* Block() const { return m_block.get(); }
  // Blue-green-red bytes of a pixel counted from the top; null outside the image.
  const std::uint8_t* Pixel(int x, int y) const { return m_back.At(x, y); }
  const std::uint8_t* SkinPixel(int x, int y) const { return m_skin.At(x, y); }

 private:
  template <typename Byte>
  struct Image {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    Byte* rows = nullptr;  // bottom-up
    Byte* At(int x, int y) const {
      if (rows == nullptr || x < 0 || y < 0 || x >= width || y >= height) return nullptr;
      return rows + static_cast<std::size_t>(height - 1 - y) * stride + static_cast<std::size_t>(x) * 3;
    }
  };

  std::unique_ptr<std::uint8_t[]> m_block;
  Image<std::uint8_t> m_back;
  Image<const std::uint8_t> m_skin;  // inside the resource; never written
};

// What a panel shows, read from its state for one paint.
struct PanelView {
  int type;
  int progress;
  const char* text;
  bool showVersions;
  int gameVersion;
};

// The panel's picture for a control whose item rectangle is item: the progress frame
// centred (unless type 255), the pressed close mark when asked, the version line.
void ComposePanel(PanelImage& image, const PanelView& view, const SkinRect& item, bool closePressed,
                  bool compact);
