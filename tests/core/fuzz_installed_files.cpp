// Fuzzes the "Files" text form: any bytes parse without a fault, and what was read writes
// back to a text that reads to the same record.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launcher/core/installed_file_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InstalledFileTree tree;
  tree.Parse(reinterpret_cast<const char*>(data), size);
  const std::string text = tree.Serialize();
  InstalledFileTree again;
  if (!again.Parse(text.data(), text.size()) || again.Serialize() != text) __builtin_trap();
  tree.Walk([](const char*, bool, void*) {}, nullptr);
  return 0;
}
