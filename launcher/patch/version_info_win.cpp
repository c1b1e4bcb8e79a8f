#include "launcher/core/windows_api.h"

#include <memory>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/version_info.h"

namespace {

// Manifests are small; anything near the 32-bit limit is not one, and a size that large
// would wrap the buffer arithmetic on a 32-bit build.
constexpr std::uint32_t kMaxManifestBytes = 0x40000000;

}  // namespace

bool CVersionInfo::ReadFromFile(const char* path) {
  if (path == nullptr) {
    g_launcher.Log("CVersionInfo::ReadFromFile() : invalid param.");
    return false;
  }
  CFileHandle file(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    g_launcher.Log("CVersionInfo::ReadFromFile() : fail to open file \"%s\"", path);
    return false;
  }
  // Whole file in one buffer with two zero bytes behind it.
  std::unique_ptr<char[]> text;
  DWORD got = 0;
  auto readAll = [&]() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > kMaxManifestBytes) return false;
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    text.reset(new (std::nothrow) char[length + 2]);
    return text && ReadFile(file.get(), text.get(), length, &got, nullptr) && got == length;
  };
  if (!readAll()) {
    g_launcher.Log("CVersionInfo::ReadFromFile() : fail to read file \"%s\"", path);
    return false;
  }
  text[got] = '\0';
  text[got + 1] = '\0';
  file.reset();
  return ReadFromMemory(text.get());
}
