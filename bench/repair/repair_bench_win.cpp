// Checks every file of a folder the way a repair run does (HashFilesInParallel), a few
// times, and prints the median time and the digests:
//   talv_bench_repair FOLDER LIST RUNS
//   LIST: relative names, one a line. Prints "seconds <median>", "bytes <total>" and then
//   one md5sum-style line per file ("<32 lower-case hex digits>  <name>").
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "launcher/core/windows_api.h"
#include "launcher/transfer/parallel_digest.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: talv_bench_repair FOLDER LIST RUNS\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::ifstream list(argv[2]);
  std::vector<std::string> names;
  std::vector<DigestJob> jobs;
  std::uint64_t total = 0;
  for (std::string name; std::getline(list, name);) {
    if (!name.empty() && name.back() == '\r') name.pop_back();
    if (name.empty()) continue;
    DigestJob job;
    job.path = folder + "\\" + name;
    std::replace(job.path.begin(), job.path.end(), '/', '\\');
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(job.path.c_str(), GetFileExInfoStandard, &data)) {
      std::fprintf(stderr, "cannot stat %s\n", job.path.c_str());
      return 1;
    }
    job.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    total += job.size;
    names.push_back(name);
    jobs.push_back(job);
  }
  const int runs = std::max(1, std::atoi(argv[3]));
  std::vector<double> times;
  std::vector<DigestOutcome> outcomes;
  for (int r = 0; r < runs; ++r) {
    const double start = NowSeconds();
    if (!HashFilesInParallel(jobs, &outcomes, nullptr, nullptr)) return 1;
    times.push_back(NowSeconds() - start);
  }
  std::sort(times.begin(), times.end());
  std::printf("seconds %.4f\nbytes %llu\n", times[times.size() / 2], static_cast<unsigned long long>(total));
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (!outcomes[i].read) {
      std::fprintf(stderr, "cannot read %s\n", jobs[i].path.c_str());
      return 1;
    }
    char hex[2 * kMd5DigestSize + 1];
    FormatDigest(outcomes[i].digest, hex);
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::printf("%s  %s\n", hex, names[i].c_str());
  }
  return 0;
}
