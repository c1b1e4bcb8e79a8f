// MD5 digests of whole files and the check of a download against its manifest digest.
#pragma once
#include <cstdint>

#include "launcher/transfer/md5.h"

// Files are hashed through one work buffer of this size, whatever their size.
constexpr std::uint32_t kDigestChunk = 65536;

// Reads exactly n bytes from the source's current position into buffer; false when the read
// fails or comes back short.
using DigestReader = bool (*)(void* source, unsigned char* buffer, std::uint32_t n);

// Hashes size bytes of a source in pieces of at most kDigestChunk. The digest is zeroed
// first and stays zeroed when a read fails or no work buffer can be had (result false):
// a digest of data that was never read must not look like a real one.
bool HashFileContents(std::uint64_t size, DigestReader read, void* source,
                      unsigned char digest[kMd5DigestSize]);

#if defined(_WIN32)
using DigestFileHandle = void*;  // HANDLE
#else
using DigestFileHandle = int;  // file descriptor
#endif

// The digest of the file's contents from its current position, as many bytes as its size
// says. Neither opens nor closes the file. False when the size query or a read failed.
bool ComputeHashCode(DigestFileHandle file, unsigned char digest[kMd5DigestSize]);

#if defined(_WIN32)
// True when the file's digest equals expected (16 bytes). Logs one line per check.
bool CheckHashCode(const char* fileName, const unsigned char* expected);
#endif
