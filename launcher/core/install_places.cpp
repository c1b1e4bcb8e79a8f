#include "launcher/core/install_places.h"

#include <cstring>

#include "launcher/core/paths.h"
#include "launcher/core/text.h"

namespace {

constexpr std::size_t kMaxComponent = 255;

bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0xA1 && c <= 0xFE); }

bool IsForbiddenByte(unsigned char c) { return c < 0x20 || std::strchr(":*?\"<>|", c) != nullptr; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Names Windows opens as devices in any folder, with any extension.
bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (EqualsNoCase(base.c_str(), device)) return true;
  }
  if (base.size() == 4 && base[3] >= '0' && base[3] <= '9') {
    const std::string stem = base.substr(0, 3);
    return EqualsNoCase(stem.c_str(), "COM") || EqualsNoCase(stem.c_str(), "LPT");
  }
  return false;
}

// Reads one component at p up to the next separator or the end; false when it is unsound.
bool ReadComponent(const char*& p, std::string* out) {
  out->clear();
  while (*p != '\0' && !IsPathSeparator(*p)) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (IsLeadByte(c)) {
      if (!IsTrailByte(static_cast<unsigned char>(p[1]))) return false;
      out->append(p, 2);
      p += 2;
      continue;
    }
    if (IsForbiddenByte(c)) return false;
    out->push_back(*p++);
  }
  // A trail byte is never "." or " ", so the last byte tells the last character.
  if (out->empty() || out->size() > kMaxComponent) return false;
  if (out->back() == '.' || out->back() == ' ') return false;
  return !IsDeviceName(*out);
}

bool SameComponents(const SoundPath& a, const SoundPath& b, std::size_t n) {
  if (a.rootCount != b.rootCount || a.components.size() < n || b.components.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!EqualsNoCase(a.components[i].c_str(), b.components[i].c_str())) return false;
  }
  return true;
}

// True when a is b or lies below it.
bool Within(const SoundPath& a, const SoundPath& b) {
  return a.components.size() >= b.components.size() && SameComponents(a, b, b.components.size());
}

}  // namespace

std::string SoundPath::Text() const {
  std::string text;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) text += '\\';
    text += components[i];
  }
  if (components.size() == 1 && rootCount == 1) text += '\\';
  return text;
}

std::size_t SoundPath::PrefixLength(std::size_t n) const {
  std::size_t length = 0;
  for (std::size_t i = 0; i < n && i < components.size(); ++i) length += components[i].size() + (i > 0 ? 1 : 0);
  return length;
}

bool ParseSoundPath(const char* path, SoundPath* out) {
  if (path == nullptr || out == nullptr) return false;
  out->components.clear();
  out->rootCount = 0;
  const char* p = path;
  std::string component;
  // A bare "C:" is the drive too: the installed-file record names drives that way.
  if (IsAsciiLetter(p[0]) && p[1] == ':' && (IsPathSeparator(p[2]) || p[2] == '\0')) {
    out->components.push_back(std::string(1, p[0]) + ":");
    out->rootCount = 1;
    p += 2;
  } else if (IsPathSeparator(p[0]) && IsPathSeparator(p[1])) {
    p += 2;
    if (!ReadComponent(p, &component)) return false;
    out->components.push_back("\\\\" + component);
    while (IsPathSeparator(*p)) ++p;
    if (!ReadComponent(p, &component)) return false;
    out->components.push_back(component);
    out->rootCount = 2;
  } else {
    return false;
  }
  for (;;) {
    while (IsPathSeparator(*p)) ++p;
    if (*p == '\0') break;
    if (!ReadComponent(p, &component)) return false;
    out->components.push_back(component);
  }
  // What Windows could not open as one path is no path of an installation.
  return out->Text().size() < kMaxPath;
}

bool IsSoundName(const char* name) {
  if (name == nullptr) return false;
  const char* p = name;
  std::string component;
  return ReadComponent(p, &component) && *p == '\0';
}

void InstallPlaces::Protect(const char* path) {
  SoundPath sound;
  if (ParseSoundPath(path, &sound)) protected_.push_back(sound);
}

void InstallPlaces::ProtectTree(const char* path) {
  SoundPath sound;
  if (ParseSoundPath(path, &sound)) protectedTrees_.push_back(sound);
}

bool InstallPlaces::Admissible(const SoundPath& path) const {
  if (path.components.size() <= path.rootCount) return false;
  for (const SoundPath& kept : protected_) {
    if (Within(kept, path)) return false;
  }
  for (const SoundPath& kept : protectedTrees_) {
    if (Within(kept, path) || Within(path, kept)) return false;
  }
  return true;
}

bool InstallPlaces::AddFolder(const char* path) {
  SoundPath sound;
  if (!ParseSoundPath(path, &sound) || !Admissible(sound)) return false;
  places_.push_back({sound, true});
  return true;
}

bool InstallPlaces::AddFile(const char* path) {
  SoundPath sound;
  if (!ParseSoundPath(path, &sound) || !Admissible(sound)) return false;
  places_.push_back({sound, false});
  return true;
}

InstallPlaces::Verdict InstallPlaces::Judge(const char* path, std::string* canonical,
                                            std::size_t* placeLength) const {
  SoundPath sound;
  if (!ParseSoundPath(path, &sound)) return Verdict::Outside;
  const std::size_t n = sound.components.size();
  bool above = false;
  for (const Place& place : places_) {
    const std::size_t m = place.path.components.size();
    const bool inside = place.folder ? Within(sound, place.path) : (n == m && SameComponents(sound, place.path, n));
    if (inside) {
      if (canonical != nullptr) *canonical = sound.Text();
      if (placeLength != nullptr) *placeLength = sound.PrefixLength(m);
      return Verdict::Inside;
    }
    // The folders above a place (a file place's own folder among them).
    if (n < m && SameComponents(sound, place.path, n)) above = true;
  }
  return above ? Verdict::Above : Verdict::Outside;
}
