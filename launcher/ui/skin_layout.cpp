#include "launcher/ui/skin_layout.h"

#include <algorithm>
#include <cstring>

#include "launcher/core/text.h"

namespace {

constexpr int kPushFaceWidth = 65;  // the block the push-button faces are centred in
constexpr int kPushFaceHeight = 19;
constexpr int kStartFaceWidth = 173;
constexpr int kStartFaceHeight = 50;
constexpr int kBoxWidth = 13;
constexpr int kBoxHeight = 11;
constexpr int kCloseMarkWidth = 33;
constexpr int kCloseMarkHeight = 12;

// Push-button faces by (disabled ? 1 : 0) + (focused ? 2 : 0) + (default ? 4 : 0).
constexpr int kPushFaces[8] = {IDB_PUSH_NORMAL,         IDB_PUSH_DISABLED,         IDB_PUSH_FOCUSED,
                               IDB_PUSH_DISABLED,       IDB_PUSH_DEFAULT_NORMAL,   IDB_PUSH_DEFAULT_DISABLED,
                               IDB_PUSH_DEFAULT_FOCUSED, IDB_PUSH_DEFAULT_DISABLED};
constexpr int kPressedPushFace = IDB_PUSH_PRESSED;

}  // namespace

bool IsSkinLabel(int controlId) {
  return controlId == IDC_CHOOSER_PATH || controlId == IDC_MAIN_LABEL || controlId == IDC_PANEL ||
         controlId == IDC_CONTINUE_LABEL || controlId == IDC_SPARE_LABEL;
}

std::vector<FrameSpan> FrameSpans(int extent, int bitmapExtent) {
  std::vector<FrameSpan> spans;
  for (int pos = 0; pos < extent; pos += kFrameTile) {
    FrameSpan span{pos, kFrameTile, pos == 0 ? 0 : 10};
    if (pos + kFrameTile >= extent) {
      span.length = extent - pos;
      span.source = bitmapExtent - span.length;
    }
    spans.push_back(span);
  }
  return spans;
}

SkinBlit ClipBlit(int x, int y, int width, int height, const SkinRect& clip) {
  SkinBlit b;
  const int left = std::max(x, clip.left);
  const int top = std::max(y, clip.top);
  const long long right = std::min(static_cast<long long>(x) + width, static_cast<long long>(clip.right));
  const long long bottom = std::min(static_cast<long long>(y) + height, static_cast<long long>(clip.bottom));
  if (right <= left || bottom <= top) return b;
  b.x = left;
  b.y = top;
  b.width = static_cast<int>(right - left);
  b.height = static_cast<int>(bottom - top);
  b.srcX = left - x;
  b.srcY = top - y;
  return b;
}

SkinFace ChooseFace(int controlId, unsigned state, const char* text) {
  if (text == nullptr) text = "";
  const bool selected = (state & kItemSelected) != 0;
  const bool disabled = (state & (kItemGrayed | kItemDisabled)) != 0;
  const bool focused = (state & kItemFocus) != 0;
  // The default mark is never drawn, whatever the button.
  const bool isDefault = text[0] == '@';
  SkinFace face{0, kPushFaceWidth, kPushFaceHeight, isDefault ? text + 1 : text,
                disabled ? kDisabledTextColour : selected ? kWhite : kBlack};
  switch (controlId) {
    case kStartButtonId:
      face.bitmapId = selected   ? IDB_START_PRESSED
                      : focused  ? IDB_START_FOCUSED
                      : disabled ? IDB_START_DISABLED
                                 : IDB_START_NORMAL;
      face.width = kStartFaceWidth;
      face.height = kStartFaceHeight;
      break;
    case kCloseBoxId:
    case kMinimiseBoxId:
      face.bitmapId = controlId == kCloseBoxId ? (selected ? IDB_CLOSE_BOX_PRESSED : IDB_CLOSE_BOX)
                                               : (selected ? IDB_MINIMISE_BOX_PRESSED : IDB_MINIMISE_BOX);
      face.width = kBoxWidth;
      face.height = kBoxHeight;
      break;
    default:
      face.bitmapId = selected ? kPressedPushFace
                               : kPushFaces[(disabled ? 1 : 0) + (focused ? 2 : 0) + (isDefault ? 4 : 0)];
      break;
  }
  return face;
}

SkinBlit PlaceFace(const SkinFace& face, const SkinRect& item) {
  const int x = item.left + (item.right - item.left - face.width) / 2;
  const int y = item.top + (item.bottom - item.top - face.height) / 2;
  return ClipBlit(x, y, face.width, face.height, item);
}

void FaceTextOrigin(const SkinRect& item, int* x, int* y) {
  *x = item.left + (item.right - item.left) / 2;
  *y = item.top + (item.bottom - item.top) / 3 - 1;
}

SkinBlit PlaceCloseMark(bool pressed, const SkinRect& item, int* bitmapId) {
  *bitmapId = pressed ? kPressedCloseMarkBitmapId : kCloseMarkBitmapId;
  const int x = item.left + (item.right - item.left - kCloseMarkWidth) / 2;
  const int y = item.top + (item.bottom - item.top - kCloseMarkHeight) / 2;
  return ClipBlit(x, y, kCloseMarkWidth, kCloseMarkHeight, item);
}

std::size_t CharLength(const char* text, std::size_t length) {
  return length >= 2 && IsLeadByte(static_cast<unsigned char>(text[0])) ? 2 : 1;
}

std::size_t CutAtCharacter(const char* text, std::size_t length, std::size_t limit) {
  std::size_t cut = 0;
  while (cut < length) {
    const std::size_t n = CharLength(text + cut, length - cut);
    if (cut + n > limit) break;
    cut += n;
  }
  return cut;
}

bool LabelLines::Next(LabelLine* line) {
  for (;;) {
    if (*m_next == '\0') return false;
    const char* start = m_next;
    std::size_t length = std::strcspn(start, "\r\n");
    m_next = start + length;
    const int row = m_row;
    if (*m_next == '\n') ++m_row;
    if (*m_next != '\0') ++m_next;
    if (length == 0) continue;

    line->row = row;
    line->centred = start[0] == '#';
    if (line->centred) {
      ++start;
      --length;
    }
    if (m_shorten && length > kPathLineLimit) {
      // Head, "...", and a tail that starts on a character boundary: the first one,
      // walking from the start, that leaves at most kPathTail bytes.
      const std::size_t head = CutAtCharacter(start, length, kPathHead);
      std::size_t tail = 0;
      while (length - tail > kPathTail) tail += CharLength(start + tail, length - tail);
      std::memcpy(line->text, start, head);
      std::memcpy(line->text + head, "...", 3);
      std::memcpy(line->text + head + 3, start + tail, length - tail);
      length = head + 3 + (length - tail);
    } else {
      length = CutAtCharacter(start, length, kLabelLineSize - 1);
      std::memcpy(line->text, start, length);
    }
    line->text[length] = '\0';
    line->length = static_cast<int>(length);
    if (length == 0) continue;  // only a "#"
    return true;
  }
}
