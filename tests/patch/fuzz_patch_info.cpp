// Fuzzes the patch information parse and the service-block window on any text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/patch_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_launcher.m_initialized = true;  // format every log line; no log file is set
  std::string text(reinterpret_cast<const char*>(data), size);
  CPatchInfo info;
  if (info.Parse(text.c_str())) {
    std::uint64_t now = 0;
    if (size >= 8) std::memcpy(&now, data, 8);
    info.ApplyServiceWindow(now);
    if (std::strlen(info.ftp) >= sizeof(info.ftp) || std::strlen(info.login) >= sizeof(info.login) ||
        std::strlen(info.arg) >= sizeof(info.arg)) {
      __builtin_trap();
    }
  }
  return 0;
}
