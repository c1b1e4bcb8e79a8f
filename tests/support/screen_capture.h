// Pictures of screens for people: scripts/screens runs the Screens.* tests with
// --gtest_also_run_disabled_tests and TALV_SCREENS_DIR set, and each writes PNGs captured from
// the windows themselves. Any test file may add a DISABLED_ test to the Screens suite.
#pragma once
#include "launcher/core/windows_api.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "launcher/core/win_handle.h"
#include "tests/support/ui_driver.h"
#include "tests/support/win_test_util.h"

namespace screens {

inline void PutBE32(std::string& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
}

inline void Chunk(std::string& png, const char* type, const std::string& data) {
  PutBE32(png, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png += body;
  PutBE32(png, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

// The window as it is on the screen, frame included, as an RGB PNG.
inline bool WritePng(HWND window, const std::string& path) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::string raw;
  {
    CWindowDc source(window, true);
    CMemoryDc memory(CreateCompatibleDC(source.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    CGdiObject bitmap(CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!source || !memory || !bitmap || bits == nullptr) return false;
    HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const unsigned char*>(bits);
    for (int y = 0; y < h; ++y) {
      raw.push_back('\0');  // no filter
      for (int x = 0; x < w; ++x) {
        const unsigned char* p = pixels + (static_cast<std::size_t>(y) * w + x) * 4;
        raw.push_back(static_cast<char>(p[2]));
        raw.push_back(static_cast<char>(p[1]));
        raw.push_back(static_cast<char>(p[0]));
      }
    }
    SelectObject(memory.get(), old);  // the bitmap goes before its context
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 9) != Z_OK) {
    return false;
  }
  packed.resize(packedSize);
  std::string header;
  PutBE32(header, static_cast<std::uint32_t>(w));
  PutBE32(header, static_cast<std::uint32_t>(h));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
  std::string png = "\x89PNG\r\n\x1a\n";
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  return WriteFileBytes(path, png);
}

inline void ScreenSettle() {
  WaitUntil(
      [] {
        ui::PumpMessages();
        return false;
      },
      300);
}

inline std::string ScreenOutputPath(const std::string& name) {
  const char* dir = std::getenv("TALV_SCREENS_DIR");
  return std::string(dir != nullptr ? dir : ".") + "\\" + name + ".png";
}


}  // namespace screens
