// Fuzzes the server address parser: every field must stay terminated inside its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "launcher/transfer/download_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  ServerAddress a;
  bool ok = ParseServerAddress(text.c_str(), &a);
  for (const char* field : {a.host, a.user, a.password, a.path}) {
    if (strnlen(field, kMaxPath) >= kMaxPath) __builtin_trap();
    if (!ok && field[0] != '\0') __builtin_trap();  // a refused address leaves it untouched
  }
  return 0;
}
