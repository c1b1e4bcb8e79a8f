// Files and folders for the storage tests, natively and under Wine (where the build's
// Unix paths resolve through the Z: drive).
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string BuildDir() {
  const char* dir = std::getenv("TALV_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

// The archives tests/storage/make_samples.py wrote for this run (ctest fixture zip_samples).
inline std::string SamplePath(const std::string& name) { return BuildDir() + "/zip-samples/" + name; }

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder for the current test under the build folder; a program started by hand,
// outside ctest, uses the temporary folder rather than wherever it was started.
inline std::string ScratchDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::error_code ec;
  const char* build = std::getenv("TALV_BUILD_DIR");
  const std::string base = build != nullptr ? std::string(build) : std::filesystem::temp_directory_path(ec).string();
  std::string dir = base + "/storage-scratch/" + info->test_suite_name() + "." + info->name();
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir, ec);
  return dir;
}

inline bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}
