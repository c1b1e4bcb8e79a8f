// Fuzzes the judgement of recorded paths: any bytes are judged without a fault, and a path
// admitted as inside a place names, once read again, that place's components and nothing
// Windows would read as a step up.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launcher/core/install_places.h"
#include "launcher/core/paths.h"
#include "launcher/core/text.h"

namespace {
// By character: a Big5 trail byte 0x5C is no separator.
bool HoldsSeparatorOrColon(const std::string& component) {
  for (const char* p = component.c_str(); *p != '\0'; p = NextPathChar(p)) {
    if (IsPathSeparator(*p) || *p == ':') return true;
  }
  return false;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kPlace[] = {"C:", "Games", "\xB3\x5C"};
  InstallPlaces places;
  places.AddFolder("C:\\Games\\\xB3\x5C");
  const std::string path(reinterpret_cast<const char*>(data), size);
  std::string canonical;
  std::size_t placeLength = 0;
  if (places.Judge(path.c_str(), &canonical, &placeLength) != InstallPlaces::Verdict::Inside) return 0;
  SoundPath sound;
  if (!ParseSoundPath(canonical.c_str(), &sound) || sound.Text() != canonical || sound.components.size() < 3 ||
      placeLength != sound.PrefixLength(3)) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < sound.components.size(); ++i) {
    const std::string& c = sound.components[i];
    if (i < 3 && !EqualsNoCase(c.c_str(), kPlace[i])) __builtin_trap();
    if (c.find_first_not_of('.') == std::string::npos || HoldsSeparatorOrColon(c)) {
      if (i != 0) __builtin_trap();
    }
  }
  return 0;
}
