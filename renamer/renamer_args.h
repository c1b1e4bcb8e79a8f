// renamer's command line: "TARGET NEW_FILE [bg] [restart arguments...]", split at spaces.
// Kept free of Windows headers so the host tests can check it.
#pragma once
#include <cstddef>

constexpr std::size_t kRenamerMaxTokens = 10;
constexpr std::size_t kRenamerTokenSize = 1024;        // a token holds at most 1023 bytes
constexpr std::size_t kRenamerNameSize = 128;          // target and new file: 127 bytes
constexpr std::size_t kRenamerCommandLineSize = 2048;  // the whole tail: 2047 bytes
constexpr std::size_t kRenamerRestartSize = 4096;      // "TARGET ARGS": 4095 bytes

struct RenamerArgs {
  char target[kRenamerNameSize] = {};
  char newFile[kRenamerNameSize] = {};
  // False with "bg" as third token, and when the restart arguments break the limits above:
  // a cut argument list would hand the new launcher options it was never given, so the
  // launcher is then replaced but left for the user to start.
  bool restart = false;
  char restartCommand[kRenamerRestartSize] = {};  // target, one space, restart arguments
};

// Parses the command-line tail (the text after the program name). Returns false when there
// is nothing to replace: fewer than two tokens, or a target or new file name over 127 bytes
// (cutting a name would replace another file than the one meant).
bool ParseRenamerCommandLine(const char* tail, RenamerArgs* args);
