// Makes the two transfer forms of a file (docs/delta-format.md): a bsdiff-class delta of a
// new content against an earlier one (suffix-array matching with libdivsufsort, streams
// compressed by zstd), and the compressed whole file.
//
// Memory: the source is matched in windows of at most kDeltaSourceWindow bytes and the result
// in chunks of kDeltaResultChunk; at any time the encoder holds one source window (1 byte per
// byte), its suffix array (4 bytes per byte), one result chunk (1 byte per byte), the chunk's
// records (32 bytes each), one zstd compressor (about 33 MiB for the delta streams, 80 MiB for
// a whole file) and the compressed delta so far. That is about 5 x source + result + 40 MiB
// for files up to the window, and about 1.5 GiB at most for any larger pair, against
// bsdiff's 9 x source or more.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/transfer/delta_apply.h"

constexpr std::uint64_t kDeltaSourceWindow = 256ull << 20;
constexpr std::uint64_t kDeltaResultChunk = 128ull << 20;
constexpr int kFormLevel = 19;

// Called with the result bytes matched so far, for the publisher's progress line.
using DeltaProgress = void (*)(void* context, std::uint64_t done);

struct DeltaEncodeOptions {
  std::uint64_t sourceWindow = kDeltaSourceWindow;  // smaller in tests, to exercise the windows
  std::uint64_t resultChunk = kDeltaResultChunk;
  int level = kFormLevel;
  DeltaProgress progress = nullptr;
  void* progressContext = nullptr;
};

// Writes the delta from source to result into sink. The digests are those of the two contents
// (the caller has them already). false with *error set on a read, write or library fault.
bool MakeDelta(ByteSource& source, const unsigned char sourceMd5[kMd5DigestSize], ByteSource& result,
               const unsigned char resultMd5[kMd5DigestSize], ByteSink& sink, const DeltaEncodeOptions& options,
               std::string* error);

// Writes the compressed whole-file form of file into sink.
bool MakeWholeFile(ByteSource& file, ByteSink& sink, int level, std::string* error);
