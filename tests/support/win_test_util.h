// Helpers for the tests that run under Wine: scratch folders, files, processes, and the
// addresses of the test servers started by the ctest fixture (tests/servers/servers.py).
#pragma once
#include <cstdint>
#include <string>

// Folder of the running test program; the programs of the build lie beside it.
std::string BinDir();
std::string BinPath(const std::string& name);

// A fresh empty folder under the Windows temporary folder, removed with everything in it
// when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadFileBytes(const std::string& path, std::string* bytes);
std::string ReadFileOr(const std::string& path, const std::string& fallback = "");
bool PathExists(const std::string& path);
void RemoveTree(const std::string& path);

struct ProcessResult {
  bool started = false;
  bool finished = false;  // false: still running at the time limit (it was killed)
  std::uint32_t exitCode = 0;
  std::string output;  // standard output and error, when captured
};

// Runs a command line and waits up to timeoutMs. With captureOutput, standard output and
// error are read through a pipe; input, when given, is written to standard input.
ProcessResult RunProcess(const std::string& commandLine, const std::string& workingDir = "",
                         std::uint32_t timeoutMs = 60000, bool captureOutput = true,
                         const std::string& input = "");

// A server of the test fixture: the value of KEY from the environment ("" when unset).
std::string ServerEnv(const char* key);
// True when the fixture servers are up (skip network tests otherwise).
bool ServersAvailable();
