#include "launcher/transfer/md5.h"

#include <cstring>

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

inline std::uint32_t Load32(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
#else
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
#endif
}

inline void Store32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// The round functions are arranged so that as little as possible waits for the previous
// step's result: message word and constant are added before the round function, F is
// written as a select, and G is split into two terms added one after the other (the
// (~d & c) term is ready before b is).
// Compilers like to fold the constant in last, which puts two additions after the round
// function on the critical path; the empty asm makes the early sum a value of its own.
#if defined(__GNUC__)
#define MD5_EARLY(a) __asm__("" : "+r"(a))
#else
#define MD5_EARLY(a) (void)0
#endif
#define MD5_F(a, b, c, d, x, s, k) \
  a += (x) + (k);                    \
  MD5_EARLY(a);                      \
  a += d ^ (b & (c ^ d));            \
  a = Rotl(a, s) + b
#define MD5_G(a, b, c, d, x, s, k) \
  a += (x) + (k);                    \
  MD5_EARLY(a);                      \
  a += ~d & c;                       \
  a += d & b;                        \
  a = Rotl(a, s) + b
#define MD5_H(a, b, c, d, x, s, k) \
  a += (x) + (k);                    \
  MD5_EARLY(a);                      \
  a += b ^ c ^ d;                    \
  a = Rotl(a, s) + b
#define MD5_I(a, b, c, d, x, s, k) \
  a += (x) + (k);                    \
  MD5_EARLY(a);                      \
  a += c ^ (b | ~d);                 \
  a = Rotl(a, s) + b

// Transforms blocks 64-byte blocks of data into state.
void Transform(std::uint32_t state[4], const unsigned char* data, std::size_t blocks) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, data += 64) {
    // Message words are loaded where they are used: kept in registers they would spill.
#define W(i) Load32(data + 4 * (i))
    const std::uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_F(a, b, c, d, W(0), 7, 0xd76aa478u);
    MD5_F(d, a, b, c, W(1), 12, 0xe8c7b756u);
    MD5_F(c, d, a, b, W(2), 17, 0x242070dbu);
    MD5_F(b, c, d, a, W(3), 22, 0xc1bdceeeu);
    MD5_F(a, b, c, d, W(4), 7, 0xf57c0fafu);
    MD5_F(d, a, b, c, W(5), 12, 0x4787c62au);
    MD5_F(c, d, a, b, W(6), 17, 0xa8304613u);
    MD5_F(b, c, d, a, W(7), 22, 0xfd469501u);
    MD5_F(a, b, c, d, W(8), 7, 0x698098d8u);
    MD5_F(d, a, b, c, W(9), 12, 0x8b44f7afu);
    MD5_F(c, d, a, b, W(10), 17, 0xffff5bb1u);
    MD5_F(b, c, d, a, W(11), 22, 0x895cd7beu);
    MD5_F(a, b, c, d, W(12), 7, 0x6b901122u);
    MD5_F(d, a, b, c, W(13), 12, 0xfd987193u);
    MD5_F(c, d, a, b, W(14), 17, 0xa679438eu);
    MD5_F(b, c, d, a, W(15), 22, 0x49b40821u);

    MD5_G(a, b, c, d, W(1), 5, 0xf61e2562u);
    MD5_G(d, a, b, c, W(6), 9, 0xc040b340u);
    MD5_G(c, d, a, b, W(11), 14, 0x265e5a51u);
    MD5_G(b, c, d, a, W(0), 20, 0xe9b6c7aau);
    MD5_G(a, b, c, d, W(5), 5, 0xd62f105du);
    MD5_G(d, a, b, c, W(10), 9, 0x02441453u);
    MD5_G(c, d, a, b, W(15), 14, 0xd8a1e681u);
    MD5_G(b, c, d, a, W(4), 20, 0xe7d3fbc8u);
    MD5_G(a, b, c, d, W(9), 5, 0x21e1cde6u);
    MD5_G(d, a, b, c, W(14), 9, 0xc33707d6u);
    MD5_G(c, d, a, b, W(3), 14, 0xf4d50d87u);
    MD5_G(b, c, d, a, W(8), 20, 0x455a14edu);
    MD5_G(a, b, c, d, W(13), 5, 0xa9e3e905u);
    MD5_G(d, a, b, c, W(2), 9, 0xfcefa3f8u);
    MD5_G(c, d, a, b, W(7), 14, 0x676f02d9u);
    MD5_G(b, c, d, a, W(12), 20, 0x8d2a4c8au);

    MD5_H(a, b, c, d, W(5), 4, 0xfffa3942u);
    MD5_H(d, a, b, c, W(8), 11, 0x8771f681u);
    MD5_H(c, d, a, b, W(11), 16, 0x6d9d6122u);
    MD5_H(b, c, d, a, W(14), 23, 0xfde5380cu);
    MD5_H(a, b, c, d, W(1), 4, 0xa4beea44u);
    MD5_H(d, a, b, c, W(4), 11, 0x4bdecfa9u);
    MD5_H(c, d, a, b, W(7), 16, 0xf6bb4b60u);
    MD5_H(b, c, d, a, W(10), 23, 0xbebfbc70u);
    MD5_H(a, b, c, d, W(13), 4, 0x289b7ec6u);
    MD5_H(d, a, b, c, W(0), 11, 0xeaa127fau);
    MD5_H(c, d, a, b, W(3), 16, 0xd4ef3085u);
    MD5_H(b, c, d, a, W(6), 23, 0x04881d05u);
    MD5_H(a, b, c, d, W(9), 4, 0xd9d4d039u);
    MD5_H(d, a, b, c, W(12), 11, 0xe6db99e5u);
    MD5_H(c, d, a, b, W(15), 16, 0x1fa27cf8u);
    MD5_H(b, c, d, a, W(2), 23, 0xc4ac5665u);

    MD5_I(a, b, c, d, W(0), 6, 0xf4292244u);
    MD5_I(d, a, b, c, W(7), 10, 0x432aff97u);
    MD5_I(c, d, a, b, W(14), 15, 0xab9423a7u);
    MD5_I(b, c, d, a, W(5), 21, 0xfc93a039u);
    MD5_I(a, b, c, d, W(12), 6, 0x655b59c3u);
    MD5_I(d, a, b, c, W(3), 10, 0x8f0ccc92u);
    MD5_I(c, d, a, b, W(10), 15, 0xffeff47du);
    MD5_I(b, c, d, a, W(1), 21, 0x85845dd1u);
    MD5_I(a, b, c, d, W(8), 6, 0x6fa87e4fu);
    MD5_I(d, a, b, c, W(15), 10, 0xfe2ce6e0u);
    MD5_I(c, d, a, b, W(6), 15, 0xa3014314u);
    MD5_I(b, c, d, a, W(13), 21, 0x4e0811a1u);
    MD5_I(a, b, c, d, W(4), 6, 0xf7537e82u);
    MD5_I(d, a, b, c, W(11), 10, 0xbd3af235u);
    MD5_I(c, d, a, b, W(2), 15, 0x2ad7d2bbu);
    MD5_I(b, c, d, a, W(9), 21, 0xeb86d391u);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef W
#undef MD5_EARLY
#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

}  // namespace

void MD5Init(MD5_CTX* context) {
  context->count[0] = context->count[1] = 0;
  context->state[0] = 0x67452301u;
  context->state[1] = 0xefcdab89u;
  context->state[2] = 0x98badcfeu;
  context->state[3] = 0x10325476u;
  std::memset(context->buffer, 0, sizeof(context->buffer));
}

void MD5Update(MD5_CTX* context, const void* input, std::size_t length) {
  const unsigned char* in = static_cast<const unsigned char*>(input);
  std::size_t index = (context->count[0] >> 3) & 0x3F;
  // The bit count is kept modulo 2^64 in two words, as the reference does.
  const std::uint64_t bits = (std::uint64_t(context->count[1]) << 32 | context->count[0]) +
                             (std::uint64_t(length) << 3);
  context->count[0] = static_cast<std::uint32_t>(bits);
  context->count[1] = static_cast<std::uint32_t>(bits >> 32);
  if (length == 0) return;

  if (index != 0) {
    const std::size_t room = 64 - index;
    if (length < room) {
      std::memcpy(context->buffer + index, in, length);
      return;
    }
    std::memcpy(context->buffer + index, in, room);
    Transform(context->state, context->buffer, 1);
    in += room;
    length -= room;
  }
  // Whole blocks straight from the caller's memory: no copy on the common path.
  if (length >= 64) {
    Transform(context->state, in, length / 64);
    in += length & ~std::size_t(63);
    length &= 63;
  }
  if (length != 0) std::memcpy(context->buffer, in, length);
}

void MD5Final(unsigned char digest[kMd5DigestSize], MD5_CTX* context) {
  unsigned char bits[8];
  Store32(bits, context->count[0]);
  Store32(bits + 4, context->count[1]);
  static const unsigned char kPadding[64] = {0x80};
  const std::size_t index = (context->count[0] >> 3) & 0x3F;
  const std::size_t padLength = index < 56 ? 56 - index : 120 - index;
  MD5Update(context, kPadding, padLength);
  MD5Update(context, bits, 8);
  for (int i = 0; i < 4; ++i) Store32(digest + 4 * i, context->state[i]);
  // Wiped through a volatile pointer so the store is not dropped as dead.
  volatile unsigned char* wipe = reinterpret_cast<volatile unsigned char*>(context);
  for (std::size_t i = 0; i < sizeof(*context); ++i) wipe[i] = 0;
}

void MD5Digest(const void* input, std::size_t length, unsigned char digest[kMd5DigestSize]) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, input, length);
  MD5Final(digest, &context);
}

void FormatDigest(const unsigned char digest[kMd5DigestSize], char out[2 * kMd5DigestSize + 1]) {
  static const char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < kMd5DigestSize; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  out[2 * kMd5DigestSize] = '\0';
}
