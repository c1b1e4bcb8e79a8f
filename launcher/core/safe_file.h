// File removal and moving that tolerate files held open for a moment by other programs.
#pragma once
#include <cstdint>

// How often a held file is tried again and for how long. These are the shipping values;
// only tests shorten them, so that they need not wait the bound out.
struct SafeFileLimits {
  std::uint32_t retryPauseMs = 500;
  std::uint32_t retryLimitMs = 30000;
};
extern SafeFileLimits g_safeFileLimits;

class CFile {
 public:
  // Removes the directory and everything below it. Names that begin with "." are kept.
  // force false: the first failure stops the work; force true: failures are logged only.
  static bool RemoveDirectory(const char* path, bool force);
};

// Deletes a file, retrying every 500 ms for about 30 seconds while it is held (the limits). True when
// the file no longer exists afterwards (a missing file is a success without a log line).
bool SafeDeleteFile(const char* path);

// Moves a file as copy plus delete, replacing the destination (a read-only one too) and
// creating its folders. Note the order: destination first. True when the source is gone
// and the destination exists; a source that stays held leaves both copies, and false.
bool SafeMoveFile(const char* destination, const char* source);
