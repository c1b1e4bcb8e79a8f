#include "launcher/core/self_extract.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "launcher/core/pe_image.h"

namespace {

void PutLE32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// [payload][a][b][c][n filler][n][begin][end][certificates]
std::vector<unsigned char> Executable(std::size_t payload, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                      unsigned char n, std::uint32_t begin, std::uint32_t end,
                                      std::size_t certificates = 0) {
  std::vector<unsigned char> out(payload, 0x5A);
  PutLE32(out, a);
  PutLE32(out, b);
  PutLE32(out, c);
  out.insert(out.end(), n, 0xEE);
  out.push_back(n);
  PutLE32(out, begin);
  PutLE32(out, end);
  out.insert(out.end(), certificates, 0xCC);
  return out;
}

std::uint32_t Balance(std::uint32_t a, std::uint32_t b) { return kTrailerSum - a - b; }

}  // namespace

TEST(SelfExtractTrailer, Cases) {
  struct Case {
    const char* what;
    std::size_t payload;
    std::uint32_t a, b, c;
    unsigned char n;
    std::size_t certificates;
    bool valid;
  } cases[] = {
      {"valid, no filler", 1000, 100, 800, Balance(100, 800), 0, 0, true},
      {"valid with filler", 1000, 100, 800, Balance(100, 800), 7, 0, true},
      {"valid with 255 filler bytes", 1000, 100, 800, Balance(100, 800), 255, 0, true},
      {"valid behind a certificate table", 1000, 100, 800, Balance(100, 800), 3, 64, true},
      {"sum off by one", 1000, 100, 800, Balance(100, 800) + 1, 0, 0, false},
      {"a is zero", 1000, 0, 800, Balance(0, 800), 0, 0, false},
      {"b is zero", 1000, 100, 0, Balance(100, 0), 0, 0, false},
      {"b equals P", 1000, 100, 1012, Balance(100, 1012), 0, 0, false},
      {"b just below P", 1000, 100, 1011, Balance(100, 1011), 0, 0, true},
      {"sum wraps around 2^32", 1000, 0xF0000000u, 500, Balance(0xF0000000u, 500), 0, 0, true},
  };
  for (const auto& c : cases) {
    auto bytes = Executable(c.payload, c.a, c.b, c.c, c.n, 11, 22, c.certificates);
    MemoryByteSource source(bytes.data(), bytes.size());
    SelfExtractTrailer t;
    EXPECT_EQ(ReadSelfExtractTrailer(source, static_cast<std::uint32_t>(c.certificates), &t), c.valid) << c.what;
    if (c.valid) {
      EXPECT_EQ(t.a, c.a) << c.what;
      EXPECT_EQ(t.b, c.b) << c.what;
      EXPECT_EQ(t.p, static_cast<std::int64_t>(c.payload + 12)) << c.what;
      std::uint32_t begin = 0, end = 0;
      EXPECT_TRUE(ReadExePatchRange(source, static_cast<std::uint32_t>(c.certificates), &begin, &end));
      EXPECT_EQ(begin, 11u);
      EXPECT_EQ(end, 22u);
    }
  }
}

TEST(SelfExtractTrailer, SourcesTooShortForTheOffsetsHaveNone) {
  for (std::size_t size : {0, 1, 8, 9, 20}) {
    std::vector<unsigned char> bytes(size, 0);
    MemoryByteSource source(bytes.data(), bytes.size());
    EXPECT_FALSE(ReadSelfExtractTrailer(source, 0, nullptr)) << size;
  }
  // n points before the start of the file.
  auto bytes = Executable(0, 1, 2, Balance(1, 2), 200, 0, 0);
  bytes.erase(bytes.begin(), bytes.begin() + 100);
  MemoryByteSource source(bytes.data(), bytes.size());
  EXPECT_FALSE(ReadSelfExtractTrailer(source, 0, nullptr));
  // A certificate size larger than the file.
  auto ok = Executable(1000, 100, 800, Balance(100, 800), 0, 0, 0);
  MemoryByteSource whole(ok.data(), ok.size());
  EXPECT_FALSE(ReadSelfExtractTrailer(whole, 0xFFFFFFFFu, nullptr));
  std::uint32_t begin = 0, end = 0;
  EXPECT_FALSE(ReadExePatchRange(whole, 0xFFFFFFFFu, &begin, &end));
}

TEST(PeImage, CertificateTableSize) {
  std::vector<unsigned char> image(512, 0);
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = 0x80;
  image[0x80] = 'P';
  image[0x81] = 'E';
  image[0x80 + 24] = 0x0B;
  image[0x80 + 25] = 0x01;  // PE32
  image[0x80 + 156] = 0x34;
  image[0x80 + 157] = 0x12;
  std::uint32_t size = 0;
  ASSERT_TRUE(PeCertificateTableSize(image.data(), image.size(), &size));
  EXPECT_EQ(size, 0x1234u);

  image[0x80 + 25] = 0x02;  // PE32+: the field moves to offset 172
  image[0x80 + 172] = 0x78;
  ASSERT_TRUE(PeCertificateTableSize(image.data(), image.size(), &size));
  EXPECT_EQ(size, 0x78u);

  image[0x80 + 24] = 0x07;  // unknown magic
  EXPECT_FALSE(PeCertificateTableSize(image.data(), image.size(), &size));
  image[0x80 + 24] = 0x0B;

  EXPECT_FALSE(PeCertificateTableSize(image.data(), 0x80 + 100, &size));  // field outside the bytes
  image[0x3C] = 0xFF;
  image[0x3D] = 0xFF;
  image[0x3E] = 0xFF;
  image[0x3F] = 0xFF;  // NT headers far outside
  EXPECT_FALSE(PeCertificateTableSize(image.data(), image.size(), &size));
  image[0] = 'X';
  EXPECT_FALSE(PeCertificateTableSize(image.data(), image.size(), &size));
}
