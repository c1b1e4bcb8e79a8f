// talvremover's command line: the whole tail is one unquoted path, the launcher's module
// path. Kept free of Windows headers so the host tests can check it.
#pragma once
#include <cstddef>

constexpr std::size_t kRemoverPathSize = 256;  // the path holds at most 255 bytes

struct RemoverArgs {
  char file[kRemoverPathSize] = {};
  // The file's folder with its trailing separator; empty when the path has no separator.
  char folder[kRemoverPathSize] = {};
};

// Returns false, leaving both empty, when the path is longer than 255 bytes: a cut path
// names another file, which must not be deleted in its place.
bool ParseRemoverCommandLine(const char* tail, RemoverArgs* args);
