// Windows gives names as UTF-16; code page 950 is the system's own table, used without
// best-fit substitutes.
#include "launcher/core/windows_api.h"

#include <shellapi.h>
#include <sys/stat.h>

#include "tools/talvpack/host_names.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

constexpr UINT kBig5 = 950;

std::string Narrow(UINT codePage, DWORD flags, const std::wstring& text, bool* lost) {
  BOOL usedDefault = FALSE;
  const bool exact = lost != nullptr;
  BOOL* used = exact && codePage != CP_UTF8 ? &usedDefault : nullptr;
  const int size = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, used);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, used);
  }
  if (exact) *lost = (size <= 0 && !text.empty()) || usedDefault;
  return out;
}

std::wstring Utf16Of(const std::u32string& text) {
  std::wstring out;
  for (char32_t c : text) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}

bool CodePointsOfUtf16(const std::wstring& text, std::u32string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t c = static_cast<char16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const char32_t low = static_cast<char16_t>(text[i + 1]);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      out->push_back(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;  // a half of a pair
    } else {
      out->push_back(c);
    }
  }
  return true;
}

}  // namespace

std::vector<std::string> CommandWords(int, char**) {
  std::vector<std::string> words;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return words;
  bool lost = false;
  for (int i = 1; i < count; ++i) words.push_back(Narrow(CP_UTF8, 0, wide[i], &lost));
  LocalFree(wide);
  return words;
}

std::string Shown(const fs::path& path) { return Narrow(CP_ACP, 0, path.native(), nullptr); }

bool CodePointsOf(const fs::path& name, std::u32string* out) { return CodePointsOfUtf16(name.native(), out); }

bool ToCodePage950(const std::u32string& text, std::string* out) {
  bool lost = false;
  *out = Narrow(kBig5, WC_NO_BEST_FIT_CHARS, Utf16Of(text), &lost);
  return !lost;
}

bool FromCodePage950(const std::string& bytes, std::u32string* out) {
  out->clear();
  if (bytes.empty()) return true;
  const int size = MultiByteToWideChar(kBig5, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                       nullptr, 0);
  if (size <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(kBig5, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &wide[0], size);
  return CodePointsOfUtf16(wide, out);
}

bool ServedPathOf(const std::string& launcherName, fs::path* out) { return HostPathOf(launcherName, out); }

std::FILE* OpenHostFile(const fs::path& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

bool ModificationTime(const fs::path& path, std::time_t* out) {
  struct _stat64 st;
  if (_wstat64(path.c_str(), &st) != 0) return false;
  *out = static_cast<std::time_t>(st.st_mtime);
  return true;
}

}  // namespace talvpack
