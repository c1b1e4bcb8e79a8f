#include "tools/talvpack/progress.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define TALV_ISATTY _isatty
#else
#include <unistd.h>
#define TALV_ISATTY isatty
#endif

namespace talvpack {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);
constexpr double kMegabyte = 1024.0 * 1024.0;

}  // namespace

Progress::Progress(const char* what)
    : what_(what), shown_(TALV_ISATTY(2) != 0), start_(std::chrono::steady_clock::now()), drawn_(start_) {}

void Progress::SetTotal(std::uint64_t files, std::uint64_t bytes) {
  totalFiles_ = files;
  totalBytes_ = bytes;
}

void Progress::Add(std::uint64_t files, std::uint64_t bytes) {
  files_ += files;
  bytes_ += bytes;
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(drawing_, std::try_to_lock);
  if (!lock.owns_lock() || now - drawn_ < kRedraw) return;
  drawn_ = now;
  Draw(false);
}

void Progress::Finish() {
  if (!shown_) return;
  std::lock_guard<std::mutex> lock(drawing_);
  if (finished_) return;
  finished_ = true;
  Draw(true);
}

void Progress::Draw(bool last) {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::fprintf(stderr, "\r%s\033[K%s", Line(what_, files_, totalFiles_, bytes_, totalBytes_, seconds).c_str(),
               last ? "\n" : "");
  std::fflush(stderr);
}

std::string Progress::Line(const char* what, std::uint64_t files, std::uint64_t totalFiles, std::uint64_t bytes,
                           std::uint64_t totalBytes, double seconds) {
  char line[160];
  const double rate = seconds > 0 ? bytes / kMegabyte / seconds : 0;
  if (totalFiles != 0) {
    std::snprintf(line, sizeof(line), "%s: %llu of %llu files, %.1f of %.1f MB, %.1f MB/s", what,
                  static_cast<unsigned long long>(files), static_cast<unsigned long long>(totalFiles),
                  bytes / kMegabyte, totalBytes / kMegabyte, rate);
  } else {
    std::snprintf(line, sizeof(line), "%s: %llu files, %.1f MB, %.1f MB/s", what, static_cast<unsigned long long>(files),
                  bytes / kMegabyte, rate);
  }
  return line;
}

}  // namespace talvpack
