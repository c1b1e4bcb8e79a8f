// Fuzzes the command-line parser: any bytes up to the command-line size.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "launcher/core/launcher_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CLauncherMgr mgr;
  mgr.m_initialized = true;  // log lines are formatted too
  std::size_t n = size < kMaxCommandLine - 1 ? size : kMaxCommandLine - 1;
  std::memcpy(mgr.m_commandLine, data, n);
  mgr.m_commandLine[n] = '\0';
  mgr.ParseCommandLine();
  return 0;
}
