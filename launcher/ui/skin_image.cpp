#include "launcher/ui/skin_image.h"

#include <algorithm>
#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/ui/panel.h"

namespace {

constexpr char kFontChars[] = "0123456789%_-\\/:.[]ABCDEFGHIJKLMNOPQRSTUVWXYZ ";
constexpr char kFontWidths[] = "4244444444444444333444444442444454454444444442";
constexpr int kFontCount = sizeof(kFontChars) - 1;
static_assert(sizeof(kFontChars) == sizeof(kFontWidths), "one width per glyph");

// A panel control is a few hundred pixels; anything far larger is a broken rectangle.
constexpr int kMaxImageSide = 8192;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kPercentTextSize = 16;  // "100 %" at most: the percent is clamped first
constexpr std::size_t kVersionLineSize = 128;

// Skin positions of the progress display.
constexpr int kSolidBarX = 57, kSolidBarY = 34;
constexpr int kStripedBarX = 57, kStripedBarY = 48;
constexpr int kBarHeight = 11;
constexpr int kBadgeX = 62, kBadgeY = 34;
constexpr int kCaptionY = 15, kCaptionWidth = 36, kCaptionHeight = 11;
constexpr int kCaptionX[] = {93, 57, 15};  // by panel type 0, 1, 2
constexpr int kPressedCloseX = 212, kPressedCloseY = 16;
constexpr int kCloseMarkWidth = 33, kCloseMarkHeight = 11;

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void WriteU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void WriteU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

int SkinGlyph(char c, int* glyphX) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  int x = kSkinFontX;
  for (int i = 0; i < kFontCount; ++i) {
    const int width = kFontWidths[i] - '0';
    if (kFontChars[i] == c) {
      if (glyphX != nullptr) *glyphX = x;
      return width;
    }
    x += width;
  }
  return 0;
}

int MeasureSkinText(const char* text) {
  int pen = 0;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      ++p;
      continue;
    }
    pen += SkinGlyph(*p, nullptr);
  }
  return pen;
}

int ProgressFill(int percent) { return kProgressBarWidth * std::clamp(percent, 0, 100) / 100; }

bool PanelImage::Allocate(int width, int height) {
  m_block.reset();
  m_back = {};
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::size_t bytes = stride * static_cast<std::size_t>(height);
  m_block.reset(new std::uint8_t[kInfoHeaderSize + bytes]);
  std::uint8_t* info = m_block.get();
  std::memset(info, 0, kInfoHeaderSize);
  WriteU32(info, kInfoHeaderSize);
  WriteU32(info + 4, static_cast<std::uint32_t>(width));
  WriteU32(info + 8, static_cast<std::uint32_t>(height));  // positive: bottom-up rows
  WriteU16(info + 12, 1);                                  // planes
  WriteU16(info + 14, 24);                                 // bits per pixel, no compression
  m_back.width = width;
  m_back.height = height;
  m_back.stride = stride;
  m_back.rows = info + kInfoHeaderSize;
  std::memset(m_back.rows, 0xFF, bytes);
  return true;
}

bool PanelImage::SetSkin(const void* file, std::size_t size) {
  m_skin = {};
  const auto* bytes = static_cast<const std::uint8_t*>(file);
  if (bytes == nullptr || size < kFileHeaderSize + kInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const std::uint8_t* info = bytes + kFileHeaderSize;
  const std::uint32_t offset = ReadU32(bytes + 10);
  const std::uint32_t infoSize = ReadU32(info);
  const auto width = static_cast<std::int32_t>(ReadU32(info + 4));
  const auto height = static_cast<std::int32_t>(ReadU32(info + 8));
  const std::uint16_t bits = ReadU16(info + 14);
  const std::uint32_t compression = ReadU32(info + 16);
  if (infoSize < kInfoHeaderSize || bits != 24 || compression != 0) return false;
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  const std::size_t stride = (static_cast<std::size_t>(bits) / 8 * static_cast<std::size_t>(width) + 3) / 4 * 4;
  const std::size_t pixels = stride * static_cast<std::size_t>(height);
  if (offset < kFileHeaderSize + infoSize || offset > size || size - offset < pixels) return false;
  m_skin.width = width;
  m_skin.height = height;
  m_skin.stride = stride;
  m_skin.rows = bytes + offset;
  return true;
}

void PanelImage::Fill(unsigned char value) {
  if (m_back.rows != nullptr) std::memset(m_back.rows, value, m_back.stride * static_cast<std::size_t>(m_back.height));
}

void PanelImage::CopySprite(int width, int srcX, int dstX, int dstY, int srcY, int height, SpriteMode mode) {
  if (m_back.rows == nullptr || m_skin.rows == nullptr || width <= 0 || height <= 0) return;
  // The part of the sprite that lies inside both images, as offsets into the sprite. The
  // sums run in 64 bits: coordinates come from control sizes and may be far off.
  const long long firstCol = std::max({0LL, -static_cast<long long>(srcX), -static_cast<long long>(dstX)});
  const long long endCol = std::min({static_cast<long long>(width), static_cast<long long>(m_skin.width) - srcX,
                                     static_cast<long long>(m_back.width) - dstX});
  const long long firstRow = std::max({0LL, -static_cast<long long>(srcY), -static_cast<long long>(dstY)});
  const long long endRow = std::min({static_cast<long long>(height), static_cast<long long>(m_skin.height) - srcY,
                                     static_cast<long long>(m_back.height) - dstY});
  if (firstCol >= endCol || firstRow >= endRow) return;
  const std::size_t count = static_cast<std::size_t>(endCol - firstCol) * 3;
  for (long long i = firstRow; i < endRow; ++i) {
    const std::uint8_t* s = m_skin.At(static_cast<int>(srcX + firstCol), static_cast<int>(srcY + i));
    std::uint8_t* d = m_back.At(static_cast<int>(dstX + firstCol), static_cast<int>(dstY + i));
    switch (mode) {
      case SpriteCopy:
        std::memcpy(d, s, count);
        break;
      case SpriteWhiteInk:
      case SpriteBlackInk: {
        const std::uint8_t ink = mode == SpriteWhiteInk ? 0xFF : 0x00;
        for (std::size_t b = 0; b < count; ++b) {
          if (s[b] == 0) d[b] = ink;
        }
        break;
      }
    }
  }
}

int PanelImage::DrawSkinText(const char* text, int x, int y, SpriteMode mode) {
  int pen = 0;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
    if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      ++p;  // a double-byte character has no glyph; its trail byte is not a letter either
      continue;
    }
    int glyphX = 0;
    const int width = SkinGlyph(*p, &glyphX);
    if (width == 0) continue;
    CopySprite(width, glyphX, x + pen, y, kSkinFontY, kSkinFontHeight, mode);
    pen += width;
  }
  return pen;
}

void PanelImage::DrawProgressFrame(const char* text, int x0, int y0, int percent, int type, bool compact) {
  percent = std::clamp(percent, 0, 100);
  if (compact) {
    CopySprite(246, 18, x0 + 6, y0 + 5, 70, 21, SpriteCopy);
  } else {
    CopySprite(292, 4, x0 - 1, y0 - 1, 134, 33, SpriteCopy);
  }
  if (type == PanelGeneral || type == PanelDownload || type == PanelExtract) {
    char number[kPercentTextSize];
    FormatString(number, sizeof(number), "%d %%", percent);
    const int barX = x0 + 45, barY = y0 + 7, textX = x0 + 52, textY = y0 + 10;
    switch (type) {
      case PanelGeneral:
        CopySprite(ProgressFill(percent), kSolidBarX, barX, barY, kSolidBarY, kBarHeight, SpriteCopy);
        break;
      case PanelDownload:
        CopySprite(ProgressFill(percent), kStripedBarX, barX, barY, kStripedBarY, kBarHeight, SpriteCopy);
        // A black badge behind the digits keeps them readable on the stripes.
        CopySprite(MeasureSkinText(number) + 3, kBadgeX, x0 + 50, y0 + 7, kBadgeY, kBarHeight, SpriteCopy);
        break;
      default:
        CopySprite(kProgressBarWidth, kStripedBarX, barX, barY, kStripedBarY, kBarHeight, SpriteCopy);
        CopySprite(ProgressFill(std::max(percent, 10)), kSolidBarX, barX, barY, kSolidBarY, kBarHeight, SpriteCopy);
        break;
    }
    DrawSkinText(number, textX, textY, SpriteWhiteInk);
    CopySprite(kCaptionWidth, kCaptionX[type], x0 + 7, y0 + 7, kCaptionY, kCaptionHeight, SpriteCopy);
  }
  DrawSkinText(text, x0 + 47, y0 + 19, SpriteCopy);
}

void ComposePanel(PanelImage& image, const PanelView& view, const SkinRect& item, bool closePressed,
                  bool compact) {
  if (view.type != PanelNone) {
    const int x0 = item.left + (item.right - item.left - kProgressFrameWidth) / 2;
    const int y0 = item.top + (item.bottom - item.top - kProgressFrameHeight) / 2;
    image.DrawProgressFrame(view.text, x0, y0, view.progress, view.type, compact);
    if (closePressed) {
      image.CopySprite(kCloseMarkWidth, kPressedCloseX, x0 + 251, y0 + 14, kPressedCloseY, kCloseMarkHeight,
                       SpriteCopy);
    }
  }
  if (view.showVersions) {
    char client[kVersionLineSize];
    char launcher[kVersionLineSize];
    FormatString(client, sizeof(client), "client ver. %d", view.gameVersion);
    FormatString(launcher, sizeof(launcher), "launcher ver. %d - Taiwan", LauncherVersion);
    image.DrawSkinText(client, item.left, item.bottom - 5, SpriteCopy);
    image.DrawSkinText(launcher, item.left + 60, item.bottom - 5, SpriteCopy);
  }
}
