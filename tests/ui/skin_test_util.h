// A made-up skin sheet whose every pixel tells where it came from, so a test can read a
// back-buffer pixel and know which skin pixel was copied there.
#pragma once
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "launcher/ui/skin_image.h"

constexpr int kSkinWidth = 300;
constexpr int kSkinHeight = 180;

// Blue 0x40 + x % 64, green 1 + y, red 0x40 + x / 64: never a 0 byte, so the ink modes
// leave it alone unless a test paints zeros in.
inline std::vector<std::uint8_t> CodedSkinFile(int width = kSkinWidth, int height = kSkinHeight) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::size_t pixels = stride * static_cast<std::size_t>(height);
  std::vector<std::uint8_t> file(54 + pixels, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<std::uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  file[26] = 1;
  file[28] = 24;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = file.data() + 54 + static_cast<std::size_t>(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<std::uint8_t>(0x40 + x % 64);
      row[x * 3 + 1] = static_cast<std::uint8_t>(1 + y);
      row[x * 3 + 2] = static_cast<std::uint8_t>(0x40 + x / 64);
    }
  }
  return file;
}

// The skin position a coded pixel came from; (-1, -1) for anything else.
inline std::pair<int, int> SourceOf(const PanelImage& image, int x, int y) {
  const std::uint8_t* p = image.Pixel(x, y);
  if (p == nullptr || p[0] < 0x40 || p[0] > 0x7F || p[2] < 0x40 || p[2] > 0x44 || p[1] == 0 || p[1] > kSkinHeight) {
    return {-1, -1};
  }
  return {(p[2] - 0x40) * 64 + (p[0] - 0x40), p[1] - 1};
}

using Source = std::pair<int, int>;
