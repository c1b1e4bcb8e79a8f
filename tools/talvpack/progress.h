// Progress of long work on a terminal: files, bytes and rate on one line of stderr, redrawn
// a few times a second. Silent when stderr is not a terminal (logs, pipes, tests).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace talvpack {

class Progress {
 public:
  explicit Progress(const char* what);
  ~Progress() { Finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // What the work will come to, when known (shown as "N of M").
  void SetTotal(std::uint64_t files, std::uint64_t bytes);
  // Work done; may be called from several threads.
  void Add(std::uint64_t files, std::uint64_t bytes);
  // Ends the line (once).
  void Finish();

  // The line as drawn: "publish: 120 of 2000 files, 100.0 of 2000.0 MB, 85.3 MB/s".
  static std::string Line(const char* what, std::uint64_t files, std::uint64_t totalFiles, std::uint64_t bytes,
                          std::uint64_t totalBytes, double seconds);

 private:
  void Draw(bool last);

  const char* what_;
  const bool shown_;
  std::atomic<std::uint64_t> files_{0}, bytes_{0};
  std::uint64_t totalFiles_ = 0, totalBytes_ = 0;
  std::chrono::steady_clock::time_point start_, drawn_;
  std::mutex drawing_;
  bool finished_ = false;
};

}  // namespace talvpack
