#include "launcher/transfer/file_digest.h"

#include <cstring>
#include <memory>
#include <new>

bool HashFileContents(std::uint64_t size, DigestReader read, void* source,
                      unsigned char digest[kMd5DigestSize]) {
  std::memset(digest, 0, kMd5DigestSize);
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kDigestChunk]());
  if (!buffer) return false;
  MD5_CTX context;
  MD5Init(&context);
  std::uint64_t remaining = size;
  while (remaining > 0) {
    const std::uint32_t n = remaining < kDigestChunk ? static_cast<std::uint32_t>(remaining) : kDigestChunk;
    if (!read(source, buffer.get(), n)) {
      unsigned char discard[kMd5DigestSize];
      MD5Final(discard, &context);  // wipes the context
      return false;
    }
    MD5Update(&context, buffer.get(), n);
    remaining -= n;
  }
  MD5Final(digest, &context);
  return true;
}
