#include "tools/talvpack/host_names.h"

#include "launcher/core/paths.h"

namespace fs = std::filesystem;

namespace talvpack {

fs::path PathOfWord(const std::string& word) { return fs::u8path(word); }

bool LauncherName(const fs::path& relative, char separator, std::string* out, std::string* error) {
  out->clear();
  for (const fs::path& component : relative) {
    std::u32string text;
    std::string bytes;
    if (!CodePointsOf(component, &text) || !ToCodePage950(text, &bytes)) {
      *error = "the name \"" + Shown(relative) + "\" has no code page 950 (Big5) form, which the launcher reads";
      return false;
    }
    if (!out->empty()) *out += separator;
    *out += bytes;
  }
  return true;
}

bool HostPathOf(const std::string& launcherName, fs::path* out) {
  *out = fs::path();
  std::size_t start = 0;
  const char* text = launcherName.c_str();
  for (const char* p = text;; p = NextPathChar(p)) {
    if (*p == '\0' || IsPathSeparator(*p)) {
      std::u32string component;
      if (!FromCodePage950(launcherName.substr(start, static_cast<std::size_t>(p - text) - start), &component)) {
        return false;
      }
      std::string utf8;
      for (char32_t c : component) {
        if (c < 0x80) {
          utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
          utf8 += static_cast<char>(0xC0 | (c >> 6));
          utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
          utf8 += static_cast<char>(0xE0 | (c >> 12));
          utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
          utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          utf8 += static_cast<char>(0xF0 | (c >> 18));
          utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
          utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
          utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
      }
      if (!utf8.empty()) *out /= fs::u8path(utf8);
      if (*p == '\0') return true;
      start = static_cast<std::size_t>(p - text) + 1;
    }
  }
}

std::u32string CaseKey(const std::u32string& text) {
  std::u32string key = text;
  for (char32_t& c : key) {
    if (c == U'/') {
      c = U'\\';
    } else if ((c >= U'a' && c <= U'z') || (c >= 0xFF41 && c <= 0xFF5A)) {  // Latin, full-width
      c -= 0x20;
    } else if (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) {  // Greek
      c -= 0x20;
    } else if (c == 0x03C2) {  // final sigma
      c = 0x03A3;
    } else if (c >= 0x0430 && c <= 0x044F) {  // Cyrillic
      c -= 0x20;
    } else if (c >= 0x0450 && c <= 0x045F) {
      c -= 0x50;
    } else if (c >= 0x2170 && c <= 0x217F) {  // small Roman numerals
      c -= 0x10;
    }
  }
  return key;
}

}  // namespace talvpack
