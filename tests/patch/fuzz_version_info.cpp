// Fuzzes both manifest forms; every entry read must be reachable through the lookups.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_launcher.m_initialized = true;
  std::string text(reinterpret_cast<const char*>(data), size);
  CVersionInfo info;
  info.ReadFromMemory(text.c_str());
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i <= info.GetCount(); ++i) {
    sum += std::string(info.GetName(i)).size() + info.GetSize(i) + static_cast<unsigned>(info.GetUpdateVersion(i));
    if ((info.GetHash(i) == nullptr) != (i == info.GetCount())) __builtin_trap();
  }
  return sum == 1 ? 0 : 0;
}
