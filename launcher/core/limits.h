// Fixed buffer sizes shared by every subsystem. Each size counts the terminating zero, so
// a path buffer holds at most 259 characters.
#pragma once
#include <cstddef>

constexpr std::size_t kMaxPath = 260;           // file and folder paths, names, addresses
constexpr std::size_t kMaxCommandLine = 4096;   // the launcher's own command line, passport
constexpr std::size_t kMaxShortCommandLine = 1024;  // command lines the launcher builds
constexpr std::size_t kJoinBuffer = 1024;       // scratch buffer of JoinPath
constexpr std::size_t kMaxLogLine = 4096;       // one formatted log line with CR LF and zero
