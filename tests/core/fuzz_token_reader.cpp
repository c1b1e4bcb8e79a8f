// Fuzzes the token reader: the first byte picks delimiters, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launcher/core/token_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t delimiterCount = data[0] % 20;
  if (delimiterCount + 1 > size) return 0;
  std::string text(reinterpret_cast<const char*>(data + 1 + delimiterCount), size - 1 - delimiterCount);
  TokenReader reader(text.c_str());
  for (std::size_t i = 0; i < delimiterCount; ++i) reader.AddDelimiter(static_cast<char>(data[1 + i]));
  int budget = 0;
  while (reader.NextToken() != nullptr) ++budget;
  reader.Rewind();
  while (reader.NextLine() != nullptr) ++budget;
  return budget < 0;
}
