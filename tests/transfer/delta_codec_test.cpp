// The delta and whole-file forms: pairs like a game's releases round-trip through the encoder
// and the decoder, and every kind of damaged or hostile input is refused with one log line.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "launcher/transfer/delta_apply.h"
#include "launcher/transfer/delta_format.h"
#include "tests/support/log_capture.h"
#include "tools/talvpack/delta_encode.h"

namespace {

using Bytes = std::vector<unsigned char>;

class VectorSink : public ByteSink {
 public:
  bool Write(const void* data, std::size_t n) override {
    if (limit_ < n || bytes.size() > limit_ - n) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    bytes.insert(bytes.end(), p, p + n);
    return true;
  }
  Bytes bytes;
  std::size_t limit_ = static_cast<std::size_t>(-1);
};

Bytes Random(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<unsigned char>(rng());
  return out;
}

// Text-like bytes: compressible, with repeats (tables, scripts).
Bytes Text(std::size_t n, unsigned seed) {
  static const char* words[] = {"sword", "potion", "dragon", "=", "10", "\r\n", "quest", "gold", ",", "npc_"};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) {
    const char* w = words[rng() % 10];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  out.resize(n);
  return out;
}

Bytes Md5(const Bytes& b) {
  Bytes d(kMd5DigestSize);
  MD5Digest(b.data(), b.size(), d.data());
  return d;
}

Bytes Encode(const Bytes& from, const Bytes& to, const DeltaEncodeOptions& options = {}) {
  MemorySource src(from.data(), from.size()), dst(to.data(), to.size());
  VectorSink sink;
  std::string error;
  EXPECT_TRUE(MakeDelta(src, Md5(from).data(), dst, Md5(to).data(), sink, options, &error)) << error;
  return sink.bytes;
}

bool Apply(const Bytes& delta, const Bytes& from, Bytes* out, const unsigned char* expected = nullptr) {
  MemorySource d(delta.data(), delta.size()), s(from.data(), from.size());
  VectorSink sink;
  const bool ok = ApplyDelta(d, s, sink, "test", expected);
  *out = sink.bytes;
  return ok;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) { return Bytes(b.begin() + at, b.begin() + at + n); }

struct Pair {
  const char* what;
  Bytes from;
  Bytes to;
  double maxRatio;  // delta size / result size at most this (1e9: no bound)
};

std::vector<Pair> Pairs() {
  const Bytes a = Random(300000, 1);
  const Bytes t = Text(200000, 2);
  Bytes changed = a;
  for (std::size_t i = 1000; i < changed.size(); i += 20000) changed[i] ^= 0x5A;  // patched bytes
  Bytes shifted = a;  // an executable whose addresses moved by a constant: add stream of small values
  for (std::size_t i = 0; i + 4 <= shifted.size(); i += 64) shifted[i] = static_cast<unsigned char>(shifted[i] + 3);
  std::vector<Pair> pairs = {
      {"empty to empty", {}, {}, 1e9},
      {"empty to data", {}, t, 1e9},
      {"data to empty", t, {}, 1e9},
      {"identical", a, a, 0.01},
      {"a few bytes changed", a, changed, 0.02},
      {"every 64th byte moved by 3", a, shifted, 0.05},
      {"asset inserted in the middle", a, Cat({Slice(a, 0, 150000), Random(5000, 3), Slice(a, 150000, 150000)}), 0.03},
      {"asset removed", a, Cat({Slice(a, 0, 100000), Slice(a, 120000, 180000)}), 0.01},
      {"assets reordered", a, Cat({Slice(a, 200000, 100000), Slice(a, 0, 200000)}), 0.01},
      {"unrelated", Random(5000, 4), Random(7000, 5), 1.1},
      {"text table edited", t, Cat({Slice(t, 0, 50000), Text(300, 9), Slice(t, 50100, 149900)}), 0.02},
      {"one byte", {7}, {8}, 1e9},
  };
  return pairs;
}

TEST(DeltaCodec, PairsRoundTripAndStaySmall) {
  for (const Pair& p : Pairs()) {
    SCOPED_TRACE(p.what);
    const Bytes delta = Encode(p.from, p.to);
    Bytes out;
    ASSERT_TRUE(Apply(delta, p.from, &out, Md5(p.to).data()));
    EXPECT_EQ(out, p.to);
    if (p.maxRatio < 1e9) {
      EXPECT_LE(static_cast<double>(delta.size()), p.maxRatio * p.to.size()) << delta.size();
    }
  }
}

// Small windows and chunks take the path that files beyond a few hundred MB take.
TEST(DeltaCodec, WindowedEncodingRoundTrips) {
  const Bytes a = Random(400000, 11);
  Bytes b = Cat({Slice(a, 0, 90000), Random(3000, 12), Slice(a, 90000, 310000)});
  b[350000] ^= 1;
  DeltaEncodeOptions small;
  small.sourceWindow = 100000;
  small.resultChunk = 40000;
  const Bytes delta = Encode(a, b, small);
  Bytes out;
  ASSERT_TRUE(Apply(delta, a, &out));
  EXPECT_EQ(out, b);
  EXPECT_LT(delta.size(), b.size() / 10);
}

TEST(DeltaCodec, WholeFileRoundTripsAndIsAPlainZstdFrame) {
  const Bytes t = Text(500000, 3);
  MemorySource src(t.data(), t.size());
  VectorSink packed;
  std::string error;
  ASSERT_TRUE(MakeWholeFile(src, packed, 19, &error)) << error;
  EXPECT_LT(packed.bytes.size(), t.size() / 4);
  EXPECT_EQ(ZSTD_getFrameContentSize(packed.bytes.data(), packed.bytes.size()), t.size());
  MemorySource in(packed.bytes.data(), packed.bytes.size());
  VectorSink out;
  ASSERT_TRUE(DecompressWholeFile(in, t.size(), Md5(t).data(), out, "test"));
  EXPECT_EQ(out.bytes, t);
}

// A delta put together by hand, its streams compressed as given.
Bytes HandDelta(const Bytes& control, const Bytes& add, const Bytes& insert, const Bytes& from, const Bytes& to,
                int windowLog = 0) {
  Bytes streams[3] = {control, add, insert};
  DeltaHeader h;
  h.sourceSize = from.size();
  h.resultSize = to.size();
  std::memcpy(h.sourceMd5, Md5(from).data(), kMd5DigestSize);
  std::memcpy(h.resultMd5, Md5(to).data(), kMd5DigestSize);
  Bytes body;
  for (int i = 0; i < 3; ++i) {
    Bytes c(ZSTD_compressBound(streams[i].size()));
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    if (windowLog > 0) {
      ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, windowLog);
      ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 0);
    }
    const std::size_t n = ZSTD_compress2(cctx, c.data(), c.size(), streams[i].data(), streams[i].size());
    ZSTD_freeCCtx(cctx);
    c.resize(n);
    h.streamSize[i] = n;
    body.insert(body.end(), c.begin(), c.end());
  }
  Bytes out(kDeltaHeaderSize);
  WriteDeltaHeader(h, out.data());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Ctrl(std::initializer_list<std::int64_t> numbers) {  // add, insert, step, ...; steps zigzagged
  Bytes out;
  int i = 0;
  for (std::int64_t n : numbers) {
    unsigned char buf[kVarintMax];
    const std::size_t k = PutVarint(i++ % 3 == 2 ? ZigZag(n) : static_cast<std::uint64_t>(n), buf);
    out.insert(out.end(), buf, buf + k);
  }
  return out;
}

TEST(DeltaCodec, DamagedAndHostileDeltasFailCleanly) {
  const Bytes from = Random(4000, 21);
  Bytes to = from;
  to[100] ^= 0xFF;
  to.insert(to.end(), 50, 'x');
  const Bytes good = Encode(from, to);
  Bytes zeros(4000, 0);
  const Bytes big = Random(1 << 24, 5);  // > 8 MiB, so its frame needs a window the decoder refuses

  struct Bad {
    const char* what;
    Bytes delta;
    Bytes source;
    const char* log;
  };
  auto flipped = [&](std::size_t at) {
    Bytes d = good;
    d[at] ^= 0x40;
    return d;
  };
  std::vector<Bad> bads = {
      {"empty", {}, from, "ApplyDelta(test) : truncated header."},
      {"truncated header", Slice(good, 0, 50), from, "ApplyDelta(test) : truncated header."},
      {"truncated streams", Slice(good, 0, good.size() - 3), from,
       "ApplyDelta(test) : stream sizes do not match the delta's size."},
      {"bad magic", flipped(0), from, "ApplyDelta(test) : not a delta."},
      {"bad version", flipped(8), from, "ApplyDelta(test) : unknown version."},
      {"unknown flags", flipped(12), from, "ApplyDelta(test) : unknown flags."},
      {"other source size", good, Slice(from, 0, 3999), "ApplyDelta(test) : the source file has another size."},
      {"other source content", good, zeros, "ApplyDelta(test) : the result has another digest."},
      {"result digest altered", flipped(48), from, "ApplyDelta(test) : the result has another digest."},
      {"record past the source", HandDelta(Ctrl({4001, 0, 0}), Bytes(4001), {}, from, Bytes(4001)), from,
       "ApplyDelta(test) : record reaches past the source."},
      {"record past the result", HandDelta(Ctrl({10, 0, 0, 0, 1, 0}), Bytes(10), {1}, from, Slice(from, 0, 10)),
       from, "ApplyDelta(test) : record reaches past the result."},
      {"step before the source", HandDelta(Ctrl({10, 0, -11}), Bytes(10), {}, from, Slice(from, 0, 10)), from,
       "ApplyDelta(test) : record moves outside the source."},
      {"step past the source", HandDelta(Ctrl({10, 0, 3991}), Bytes(10), {}, from, Slice(from, 0, 10)), from,
       "ApplyDelta(test) : record moves outside the source."},
      {"result short", HandDelta(Ctrl({10, 0, 0}), Bytes(10), {}, from, Slice(from, 0, 11)), from,
       "ApplyDelta(test) : the result is short."},
      {"add stream short", HandDelta(Ctrl({10, 0, 0}), Bytes(9), {}, from, Slice(from, 0, 10)), from,
       "ApplyDelta(test) : stream ends early."},
      {"bytes left over", HandDelta(Ctrl({10, 0, 0}), Bytes(10), {1, 2}, from, Slice(from, 0, 10)), from,
       "ApplyDelta(test) : streams carry bytes no record uses."},
      {"truncated record", HandDelta(Bytes{10, 0}, Bytes(10), {}, from, Slice(from, 0, 10)), from,
       "ApplyDelta(test) : truncated control record."},
      {"endless number", HandDelta(Bytes(12, 0xFF), {}, {}, from, {}), from,
       "ApplyDelta(test) : control number too long."},
      {"too wide a window", HandDelta(Ctrl({0, 1 << 24, 0}), {}, big, from, big, 27), from,
       "ApplyDelta(test) : Frame requires too much memory for decoding."},
  };
  // Corrupt compressed bytes: a zstd error, or a digest that no longer matches.
  for (std::size_t at = kDeltaHeaderSize; at < good.size(); at += 7) {
    Bytes out;
    LogCapture log;
    EXPECT_FALSE(Apply(flipped(at), from, &out)) << at;
    EXPECT_EQ(log.lines().size(), 1u) << at;
  }
  for (const Bad& b : bads) {
    SCOPED_TRACE(b.what);
    LogCapture log;
    Bytes out;
    EXPECT_FALSE(Apply(b.delta, b.source, &out));
    EXPECT_EQ(log.lines(), std::vector<std::string>{b.log});
    EXPECT_LE(out.size(), to.size() < big.size() ? big.size() : to.size());
  }
}

TEST(DeltaCodec, StaleDeltaIsRefusedBeforeWriting) {
  const Bytes from = Text(1000, 1), to = Text(1200, 2), other = Text(1200, 3);
  LogCapture log;
  Bytes out;
  EXPECT_FALSE(Apply(Encode(from, to), from, &out, Md5(other).data()));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(log.lines(), std::vector<std::string>{"ApplyDelta(test) : the delta makes another content."});
}

TEST(DeltaCodec, DamagedWholeFilesFailCleanly) {
  const Bytes t = Text(100000, 8);
  MemorySource src(t.data(), t.size());
  VectorSink packed;
  std::string error;
  ASSERT_TRUE(MakeWholeFile(src, packed, 3, &error));
  const Bytes& p = packed.bytes;
  Bytes flippedLate = p;
  flippedLate[p.size() / 2] ^= 0x10;
  struct Bad {
    const char* what;
    Bytes packed;
    std::uint64_t size;
    const char* log;
  };
  const std::vector<Bad> bads = {
      {"truncated", Slice(p, 0, p.size() - 5), t.size(), "DecompressWholeFile(test) : stream ends early."},
      {"empty", {}, t.size(), "DecompressWholeFile(test) : stream ends early."},
      {"longer than said", p, t.size() - 1, "DecompressWholeFile(test) : longer than the expected size."},
      {"shorter than said", p, t.size() + 1, "DecompressWholeFile(test) : stream ends early."},
      {"not zstd", Bytes(100, 'a'), t.size(), "DecompressWholeFile(test) : Unknown frame descriptor."},
  };
  for (const Bad& b : bads) {
    SCOPED_TRACE(b.what);
    LogCapture log;
    MemorySource in(b.packed.data(), b.packed.size());
    VectorSink out;
    EXPECT_FALSE(DecompressWholeFile(in, b.size, Md5(t).data(), out, "test"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{b.log});
  }
  LogCapture log;
  MemorySource in(flippedLate.data(), flippedLate.size());
  VectorSink out;
  EXPECT_FALSE(DecompressWholeFile(in, t.size(), Md5(t).data(), out, "test"));
  EXPECT_EQ(log.lines().size(), 1u);
}

TEST(DeltaCodec, WriteFailureIsReported) {
  const Bytes from = Text(100000, 1), to = Text(100000, 2);
  const Bytes delta = Encode(from, to);
  MemorySource d(delta.data(), delta.size()), s(from.data(), from.size());
  VectorSink sink;
  sink.limit_ = 1000;
  LogCapture log;
  EXPECT_FALSE(ApplyDelta(d, s, sink, "test"));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"ApplyDelta(test) : cannot write the result."});
}

}  // namespace
