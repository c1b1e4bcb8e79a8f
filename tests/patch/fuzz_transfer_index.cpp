// Fuzzes the transfer index: whatever it accepts holds only safe names and paths.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/manifest_name.h"
#include "launcher/patch/transfer_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_launcher.m_initialized = true;
  CTransferIndex index;
  const bool ok = index.Read(reinterpret_cast<const char*>(data), size);
  if (!ok && !index.Empty()) __builtin_trap();
  return 0;
}
