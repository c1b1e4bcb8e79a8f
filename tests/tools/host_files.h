// Files and shell words for the tests that run talvpack and other host programs.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace host_files {

// One word for /bin/sh, whatever it holds.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Put(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// The talvpack the build made (TALV_BIN_DIR), or "" when there is none.
inline std::filesystem::path BuiltTalvpack() {
  const char* bin = std::getenv("TALV_BIN_DIR");
  const std::filesystem::path exe = std::filesystem::path(bin != nullptr ? bin : "bin") / "talvpack";
  return std::filesystem::exists(exe) ? exe : std::filesystem::path();
}

}  // namespace host_files
