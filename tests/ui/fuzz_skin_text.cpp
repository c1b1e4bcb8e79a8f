// Fuzzes the texts the skin draws: label lines (plain and path label) and skin-font status
// text on a panel smaller than its frame, where every glyph must be clipped.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "launcher/ui/skin_layout.h"
#include "tests/ui/skin_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  for (bool path : {false, true}) {
    LabelLines lines(text.c_str(), path);
    LabelLine line;
    while (lines.Next(&line)) {
      if (static_cast<std::size_t>(line.length) != std::strlen(line.text) || line.length >= static_cast<int>(kLabelLineSize)) {
        __builtin_trap();
      }
      if (path && line.length > static_cast<int>(kPathHead + 3 + kPathTail)) __builtin_trap();
    }
  }
  static const std::vector<std::uint8_t> skin = CodedSkinFile();
  PanelImage image;
  image.Allocate(1 + data[0] % 64, 1 + data[0] / 64 * 9);
  image.SetSkin(skin.data(), skin.size());
  const PanelView view{data[0] % 4, static_cast<int>(data[0]) - 100, text.c_str(), true, static_cast<int>(size)};
  ComposePanel(image, view, SkinRect{0, 0, image.Width(), image.Height()}, (data[0] & 1) != 0, (data[0] & 2) != 0);
  if (image.DrawSkinText(text.c_str(), -3, -2, SpriteBlackInk) != MeasureSkinText(text.c_str())) __builtin_trap();
  return 0;
}
