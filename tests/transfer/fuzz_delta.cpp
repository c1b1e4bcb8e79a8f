// Fuzzes the delta decoder against a fixed source, and the whole-file decoder: whatever the
// input, the result stays within the sizes the header claims and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "launcher/core/launcher_mgr.h"
#include "launcher/transfer/delta_apply.h"

namespace {

class BoundedSink : public ByteSink {
 public:
  bool Write(const void*, std::size_t n) override {
    written += n;
    return written <= (64u << 20);
  }
  std::uint64_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_launcher.m_initialized = false;  // no log file; the lines are not what is tested here
  static unsigned char source[4096];
  for (std::size_t i = 0; i < sizeof source; ++i) source[i] = static_cast<unsigned char>(i * 7 + (i >> 5));
  MemorySource delta(data, size);
  MemorySource old(source, sizeof source);
  BoundedSink sink;
  DeltaHeader header;
  const bool ok = ApplyDelta(delta, old, sink, "fuzz");
  if (ok && (!ReadDeltaHeaderFrom(delta, &header, "fuzz") || sink.written != header.resultSize)) __builtin_trap();
  if (size > 4) {
    std::uint32_t expected = 0;
    std::memcpy(&expected, data, 4);
    MemorySource packed(data + 4, size - 4);
    BoundedSink out;
    unsigned char digest[kMd5DigestSize] = {};
    if (DecompressWholeFile(packed, expected % (1 << 20), digest, out, "fuzz") && out.written != expected % (1 << 20))
      __builtin_trap();
  }
  return 0;
}
