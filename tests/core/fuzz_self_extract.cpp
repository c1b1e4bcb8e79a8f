// Fuzzes the trailer reader and the PE certificate lookup over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "launcher/core/pe_image.h"
#include "launcher/core/self_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint32_t security = 0;
  PeCertificateTableSize(data, size, &security);
  MemoryByteSource source(data, size);
  SelfExtractTrailer trailer;
  ReadSelfExtractTrailer(source, security, &trailer);
  ReadSelfExtractTrailer(source, 0, &trailer);
  std::uint32_t begin = 0, end = 0;
  ReadExePatchRange(source, security, &begin, &end);
  return 0;
}
