// MD5 digests of many files at once, for checking a whole installation: two threads take
// the files in turn, and each reads its next block while it hashes the current one, so the
// check runs at the disk's pace rather than one core's.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/transfer/md5.h"

struct DigestJob {
  std::string path;
  std::uint64_t size = 0;  // the size it must have; a file of another size is not read
};

// Outcome of hashing one file: read is false when it could not be read to its end.
struct DigestOutcome {
  bool read = false;
  unsigned char digest[kMd5DigestSize] = {};
};

constexpr int kDigestThreads = 2;

// Called on the calling thread about every 100 ms and once at the end: the bytes hashed so
// far and the path of a file being hashed (or the last one). False stops the work.
using DigestProgress = bool (*)(std::uint64_t done, const char* current, void* context);

#if defined(_WIN32)
// Fills outcomes (one per job, in job order). False when progress asked to stop; the
// outcomes are then incomplete and must not be used.
bool HashFilesInParallel(const std::vector<DigestJob>& jobs, std::vector<DigestOutcome>* outcomes,
                         DigestProgress progress, void* context);
#endif
