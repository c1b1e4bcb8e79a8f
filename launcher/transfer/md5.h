// MD5 message digest (RFC 1321). The context keeps the reference layout; the block
// transform is written for throughput, since every downloaded file passes through it.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr std::size_t kMd5DigestSize = 16;

struct MD5_CTX {
  std::uint32_t state[4];   // chaining words A, B, C, D
  std::uint32_t count[2];   // number of bits hashed, modulo 2^64, low word first
  unsigned char buffer[64];  // input block not yet transformed
};

void MD5Init(MD5_CTX* context);
void MD5Update(MD5_CTX* context, const void* input, std::size_t length);
// Writes the 16-byte digest and wipes the context.
void MD5Final(unsigned char digest[kMd5DigestSize], MD5_CTX* context);

// One-shot digest of a memory block.
void MD5Digest(const void* input, std::size_t length, unsigned char digest[kMd5DigestSize]);

// 32 upper-case hexadecimal digits and a terminator (out holds at least 33 bytes).
void FormatDigest(const unsigned char digest[kMd5DigestSize], char out[2 * kMd5DigestSize + 1]);
