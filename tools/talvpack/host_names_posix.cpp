// Linux gives names as UTF-8 bytes; iconv (glibc's CP950 table) converts to and from Big5.
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>

#include "tools/talvpack/host_names.h"

#include "launcher/core/paths.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

// The whole of input through one iconv conversion; false at the first byte it cannot take.
bool Convert(const char* to, const char* from, const std::string& input, std::string* out) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  bool ok = true;
  while (ok && inLeft > 0) {
    char buffer[256];
    char* outPtr = buffer;
    std::size_t outLeft = sizeof(buffer);
    const std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out->append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) ok = false;
  }
  // A conversion may hold a shift state back; CP950 has none, but end it properly.
  char tail[16];
  char* tailPtr = tail;
  std::size_t tailLeft = sizeof(tail);
  if (ok && iconv(cd, nullptr, nullptr, &tailPtr, &tailLeft) == static_cast<std::size_t>(-1)) ok = false;
  out->append(tail, static_cast<std::size_t>(tailPtr - tail));
  iconv_close(cd);
  return ok;
}

std::u32string FromUtf32Bytes(const std::string& bytes) {
  std::u32string text;
  for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
    const auto b = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(bytes[i + k])); };
    text.push_back(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
  }
  return text;
}

std::string Utf32Bytes(const std::u32string& text) {
  std::string bytes;
  for (char32_t c : text) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((c >> (8 * i)) & 0xFF);
  }
  return bytes;
}

}  // namespace

std::vector<std::string> CommandWords(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }

std::string Shown(const fs::path& path) { return path.string(); }

bool CodePointsOf(const fs::path& name, std::u32string* out) {
  std::string bytes;
  if (!Convert("UTF-32LE", "UTF-8", name.native(), &bytes)) return false;
  *out = FromUtf32Bytes(bytes);
  return true;
}

bool ToCodePage950(const std::u32string& text, std::string* out) {
  return Convert("CP950", "UTF-32LE", Utf32Bytes(text), out);
}

bool FromCodePage950(const std::string& bytes, std::u32string* out) {
  std::string utf32;
  if (!Convert("UTF-32LE", "CP950", bytes, &utf32)) return false;
  *out = FromUtf32Bytes(utf32);
  return true;
}

bool ServedPathOf(const std::string& launcherName, fs::path* out) {
  std::u32string text;
  if (!FromCodePage950(launcherName, &text)) return false;
  *out = fs::path();
  std::string component;
  for (const char* p = launcherName.c_str();; p = NextPathChar(p)) {
    if (*p == '\0' || IsPathSeparator(*p)) {
      if (!component.empty()) *out /= component;
      if (*p == '\0') return true;
      component.clear();
    } else {
      component.append(p, NextPathChar(p));
    }
  }
}

std::FILE* OpenHostFile(const fs::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool ModificationTime(const fs::path& path, std::time_t* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *out = st.st_mtime;
  return true;
}

}  // namespace talvpack
