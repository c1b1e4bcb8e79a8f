// File removal and moving that tolerate files held open for a moment by other programs.
#pragma once

class CFile {
 public:
  // Removes the directory and everything below it. Names that begin with "." are kept.
  // force false: the first failure stops the work; force true: failures are logged only.
  static bool RemoveDirectory(const char* path, bool force);
};
